#include "radio/history_plot.h"

#include <QPainter>
#include <QPainterPath>
#include <array>

#include "diag/signal_scale.h"

namespace norvane {
namespace {

// One colour a track, told apart on white and by most colour-blind eyes (Okabe and Ito's set).
const std::array<QColor, kHistoryTracks> kTrackColours{
    QColor(0, 114, 178),  QColor(213, 94, 0),  QColor(0, 158, 115), QColor(204, 121, 167),
    QColor(86, 180, 233), QColor(230, 159, 0), QColor(0, 0, 0),     QColor(120, 120, 120)};

QString CellText(const HistoryCell& cell) {
    return QStringLiteral("%1 %2 on %3")
        .arg(cell.lte ? QStringLiteral("PCI") : QStringLiteral("PSC"))
        .arg(cell.code)
        .arg(cell.channel);
}

}  // namespace

HistoryPlot::HistoryPlot(const SignalHistory& history, QWidget* parent)
    : QWidget(parent), m_history(history) {
    setAccessibleName(QStringLiteral("Signal history"));
    setMinimumHeight(200);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void HistoryPlot::SetLte(bool lte) {
    if (lte != m_lte) {
        m_lte = lte;
        update();
    }
}

void HistoryPlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm = fontMetrics();
    // The rows the legend took last time (two at least); a change is drawn again at once.
    const int legendHeight = m_legendRows * (fm.height() + 2) + 4;
    const int left = fm.horizontalAdvance(QStringLiteral("-140")) + 8;
    const QRect area = rect().adjusted(left, 4, -8, -(legendHeight + fm.height() + 4));
    const int gap = fm.height();
    const int paneHeight = (area.height() - gap) / 2;
    const std::int64_t newest = m_history.newest();
    const std::int64_t oldest = newest - kHistorySeconds + 1;

    struct Pane {
        QRect box;
        const SignalScale* scale;
        const char* name;
        bool level;
    };
    const Pane panes[] = {
        {QRect(area.left(), area.top(), area.width(), paneHeight),
         m_lte ? &kRsrpScale : &kRscpScale, m_lte ? "RSRP dBm" : "RSCP dBm", true},
        {QRect(area.left(), area.top() + paneHeight + gap, area.width(), paneHeight),
         m_lte ? &kRsrqScale : &kEcIoScale, m_lte ? "RSRQ dB" : "Ec/Io dB", false},
    };
    const auto x = [&](const QRect& box, std::int64_t second) {
        return box.left() + double(second - oldest) * box.width() / (kHistorySeconds - 1);
    };
    const auto y = [](const Pane& pane, double value) {
        const double lo = pane.scale->barMin, hi = pane.scale->barMax;
        const double clamped = std::clamp(value, lo, hi);
        return pane.box.bottom() - (clamped - lo) * pane.box.height() / (hi - lo);
    };

    m_legend.clear();
    for (const Pane& pane : panes) {
        painter.setPen(QPen(QColor(160, 160, 160), 1));
        painter.drawRect(pane.box);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(pane.box.left() + 4, pane.box.top() + fm.ascent() + 2,
                         QString::fromLatin1(pane.name));
        for (const int v : {pane.scale->barMin, pane.scale->barMax}) {
            const int top = std::clamp(int(y(pane, v)) - fm.height() / 2, pane.box.top(),
                                       pane.box.bottom() - fm.height());
            painter.drawText(QRect(0, top, left - 4, fm.height()),
                             Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
        }
        // The good and fair limits.
        for (const auto& [limit, colour] : {std::pair{pane.scale->good, QColor(0, 150, 0, 90)},
                                            std::pair{pane.scale->fair, QColor(200, 0, 0, 90)}}) {
            painter.setPen(QPen(colour, 1, Qt::DotLine));
            painter.drawLine(QPointF(pane.box.left(), y(pane, limit)),
                             QPointF(pane.box.right(), y(pane, limit)));
        }
        if (newest < 0) {
            continue;
        }
        // Handovers.
        painter.setPen(QPen(QColor(90, 90, 90), 1, Qt::DashLine));
        for (std::int64_t s = std::max<std::int64_t>(oldest, 0); s <= newest; ++s) {
            if (m_history.HandoverAt(s)) {
                painter.drawLine(QPointF(x(pane.box, s), pane.box.top()),
                                 QPointF(x(pane.box, s), pane.box.bottom()));
            }
        }
        // One line a track, broken where it has no sample for more than two seconds; the
        // serving cell's stretches thick.
        for (std::size_t t = 0; t < kHistoryTracks; ++t) {
            const SignalHistory::Track& track = m_history.tracks()[t];
            if (!track.used || track.lastSecond < oldest) {
                continue;
            }
            QPainterPath thin, thick;
            const SignalHistory::Sample* previous = nullptr;
            std::int64_t previousSecond = 0;
            bool anyServing = false;
            for (std::int64_t s = std::max<std::int64_t>(oldest, 0); s <= newest; ++s) {
                const SignalHistory::Sample* sample = m_history.At(track, s);
                if (sample == nullptr) {
                    continue;
                }
                const QPointF point(x(pane.box, s),
                                    y(pane, pane.level ? sample->level : sample->quality));
                QPainterPath& path = sample->serving ? thick : thin;
                anyServing = anyServing || sample->serving;
                if (previous != nullptr && s - previousSecond <= 2) {
                    const QPointF from(x(pane.box, previousSecond),
                                       y(pane, pane.level ? previous->level : previous->quality));
                    path.moveTo(from);
                    path.lineTo(point);
                } else {
                    path.moveTo(point);
                    path.lineTo(point);
                }
                previous = sample;
                previousSecond = s;
            }
            painter.setPen(QPen(kTrackColours[t], 1));
            painter.drawPath(thin);
            painter.setPen(QPen(kTrackColours[t], 2.5));
            painter.drawPath(thick);
            if (pane.level) {
                m_legend << CellText(track.cell) +
                                (anyServing ? QStringLiteral(" (serving)") : QString());
            }
        }
    }
    // Time axis and legend.
    painter.setPen(palette().color(QPalette::WindowText));
    const int axisY = area.bottom() + 2;
    painter.drawText(QRect(area.left(), axisY, area.width(), fm.height()), Qt::AlignLeft,
                     QStringLiteral("-10 min"));
    painter.drawText(QRect(area.left(), axisY, area.width(), fm.height()), Qt::AlignHCenter,
                     QStringLiteral("-5 min"));
    painter.drawText(QRect(area.left(), axisY, area.width(), fm.height()), Qt::AlignRight,
                     QStringLiteral("now"));
    int lx = area.left();
    int ly = axisY + fm.height() + 4;
    int shown = 0;
    for (std::size_t t = 0; t < kHistoryTracks; ++t) {
        const SignalHistory::Track& track = m_history.tracks()[t];
        if (!track.used || track.lastSecond < oldest || shown >= m_legend.size()) {
            continue;
        }
        const QString& text = m_legend[shown++];
        if (lx > area.left() && lx + 18 + fm.horizontalAdvance(text) > area.right()) {
            lx = area.left();  // the next row
            ly += fm.height() + 2;
        }
        painter.fillRect(QRect(lx, ly + fm.height() / 2 - 2, 14, 4), kTrackColours[t]);
        painter.drawText(lx + 18, ly + fm.ascent(), text);
        lx += 18 + fm.horizontalAdvance(text) + 12;
    }
    const int rows = std::max(2, (ly - (axisY + fm.height() + 4)) / (fm.height() + 2) + 1);
    if (rows != m_legendRows) {
        m_legendRows = rows;
        update();
    }
}

}  // namespace norvane
