#include "radio/radio_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "diag/bands.h"
#include "portlist/port_combo.h"
#include "radio/history_plot.h"
#include "radio/signalling_list.h"

namespace norvane {
namespace {

// Colours of good, fair and poor in bars and in the table's RSRP column (dark enough to read
// as text on white).
const QColor kGood(0, 150, 0);
const QColor kFair(200, 130, 0);
const QColor kPoor(200, 0, 0);

QColor QualityColor(Quality q) {
    return q == Quality::Good ? kGood : q == Quality::Fair ? kFair : kPoor;
}

// Values look like text on the window, with a frame only while they have the keyboard focus.
constexpr char kValueStyle[] =
    "QLineEdit[readOnly=\"true\"] { background: transparent; border: 1px solid transparent; }"
    "QLineEdit[readOnly=\"true\"]:focus { border: 1px solid palette(highlight); }";

struct SignalName {
    const char* name;
    const char* unit;
    const SignalScale* scale;
};
constexpr std::array<SignalName, 3> kLteSignals{{
    {"RSRP", "dBm", &kRsrpScale},
    {"RSRQ", "dB", &kRsrqScale},
    {"RSSI", "dBm", &kRssiScale},
}};
constexpr std::array<SignalName, 3> kWcdmaSignals{{
    {"RSCP", "dBm", &kRscpScale},
    {"Ec/Io", "dB", &kEcIoScale},
    {"", "", nullptr},
}};

constexpr int kNeighbourRowsShown = 8;
// The gNB's part of an NR cell identity is 22 to 32 bits: shown with the usual 24-bit split.
constexpr unsigned kNrCellBits = 12;

enum NeighbourColumn { kColPci, kColEarfcn, kColRsrp, kColRsrq, kColRssi, kColCell, kColAge };
const char* const kNeighbourHeaders[] = {"PCI",      "Channel", "RSRP dBm", "RSRQ dB",
                                         "RSSI dBm", "Cell",    "Age"};

// A value as a read-only, frameless text field: Tab reaches it, a screen reader reads its
// accessible name and then its text.
QLineEdit* ValueField(const QString& accessibleName) {
    auto* field = new QLineEdit;
    field->setReadOnly(true);
    field->setFocusPolicy(Qt::StrongFocus);
    field->setAccessibleName(accessibleName);
    field->setText(QString::fromLatin1(kNoReportText));
    return field;
}

// Sets the text shown from its start (setText alone leaves the cursor, and the view, at its end).
void Show(QLineEdit* field, const QString& text) {
    if (field->text() != text) {
        field->setText(text);
        field->setCursorPosition(0);
    }
}

void Dim(QWidget* widget, bool dim) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Text, dim ? p.color(QPalette::Disabled, QPalette::Text)
                                   : p.color(QPalette::Active, QPalette::WindowText));
    widget->setPalette(p);
}

QString Seconds(RadioClock::duration age) {
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(age).count();
    return QStringLiteral("%1 s ago").arg(std::max<long long>(s, 0));
}

QString Decibels(double value) {
    return QString::number(value, 'f', 1);
}

QString QualityText(Quality q) {
    switch (q) {
        case Quality::Good:
            return QStringLiteral("good");
        case Quality::Fair:
            return QStringLiteral("fair");
        case Quality::Poor:
            return QStringLiteral("poor");
    }
    return {};
}

QString NetworkText(const PlmnText& plmn) {
    return plmn.known ? QStringLiteral("%1 / %2").arg(QString::fromLatin1(plmn.mcc.data()),
                                                      QString::fromLatin1(plmn.mnc.data()))
                      : QStringLiteral("unknown");
}

// Channel bandwidth of a resource block count, in MHz text; empty for a count no LTE carrier has.
QString BandwidthText(std::uint8_t rb) {
    static constexpr struct {
        std::uint8_t rb;
        const char* mhz;
    } kWidths[] = {{6, "1.4"}, {15, "3"}, {25, "5"}, {50, "10"}, {75, "15"}, {100, "20"}};
    for (const auto& w : kWidths) {
        if (w.rb == rb) {
            return QStringLiteral(", %1 MHz").arg(QLatin1String(w.mhz));
        }
    }
    return {};
}

QString RoleText(const NeighbourRow& row) {
    switch (row.role) {
        case NeighbourRole::Idle:
            return QStringLiteral("idle neighbour");
        case NeighbourRole::Neighbour:
            return QStringLiteral("neighbour");
        case NeighbourRole::Secondary:
            return QStringLiteral("SCell %1").arg(row.servingIndex);
        case NeighbourRole::Nr:
            return row.ssb >= 0 ? QStringLiteral("NR neighbour, SSB %1").arg(row.ssb)
                                : QStringLiteral("NR neighbour");
    }
    return {};
}

}  // namespace

QGridLayout* RadioWindow::IdentityGrid(std::initializer_list<const char*> names,
                                       std::span<IdentityField> fields) {
    auto* grid = new QGridLayout;
    int i = 0;
    for (const char* n : names) {
        const QString name = QString::fromLatin1(n);
        IdentityField& field = fields[static_cast<std::size_t>(i)];
        field = {new QLabel(name), ValueField(name)};
        grid->addWidget(field.caption, i / 2, i % 2 * 2);
        grid->addWidget(field.value, i / 2, i % 2 * 2 + 1);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return grid;
}

RadioWindow::SignalRow RadioWindow::MakeSignalRow(const QString& name, QGridLayout& grid, int r) {
    SignalRow row;
    row.caption = new QLabel(name);
    row.bar = new QProgressBar;
    row.bar->setTextVisible(false);
    row.bar->setFocusPolicy(Qt::NoFocus);  // the value field next to it says the same
    row.bar->setAccessibleName(name + QStringLiteral(" bar"));
    row.value = ValueField(name);
    row.value->setMinimumWidth(
        row.value->fontMetrics().horizontalAdvance(QStringLiteral("-140.0 dBm, good")) + 8);
    row.age = ValueField(name + QStringLiteral(" age"));
    row.age->setFixedWidth(
        row.age->fontMetrics().horizontalAdvance(QString::fromLatin1(kNoReportText)) + 12);
    grid.addWidget(row.caption, r, 0);
    grid.addWidget(row.bar, r, 1);
    grid.addWidget(row.value, r, 2);
    grid.addWidget(row.age, r, 3);
    return row;
}

void RadioWindow::ShowSignal(SignalRow& row, bool has, double value, const SignalScale& scale,
                             const char* unit, RadioClock::duration age) {
    row.bar->setRange(scale.barMin, scale.barMax);
    QPalette p = row.bar->palette();
    if (has) {
        const Quality q = Rate(value, scale);
        Show(row.value,
             QStringLiteral("%1 %2, %3").arg(Decibels(value), QLatin1String(unit), QualityText(q)));
        row.bar->setValue(
            std::clamp(static_cast<int>(std::lround(value)), scale.barMin, scale.barMax));
        p.setColor(QPalette::Highlight, QualityColor(q));
        Show(row.age, Seconds(age));
    } else {
        Show(row.value, QString::fromLatin1(kNoReportText));
        row.bar->setValue(scale.barMin);
        Show(row.age, QString::fromLatin1(kNoReportText));
    }
    row.bar->setPalette(p);
    Dim(row.value, !has);
    Dim(row.age, !has);
}

RadioWindow::RadioWindow(RadioReportSource* source, QWidget* parent, RadioClockSource clock)
    : QWidget(parent, Qt::Window),
      m_source(source),
      m_store(clock ? std::move(clock) : RadioClockSource([] { return RadioClock::now(); })) {
    setWindowTitle(QStringLiteral("Norvane Radio"));
    setAttribute(Qt::WA_QuitOnClose, false);
    // The cell on the left, its signalling on the right.
    auto* columns = new QHBoxLayout(this);
    auto* layout = new QVBoxLayout;
    columns->addLayout(layout, 1);

    auto* portRow = new QHBoxLayout;
    auto* portCaption = new QLabel(QStringLiteral("&Port:"));
    m_ports = new QComboBox;
    m_ports->setAccessibleName(QStringLiteral("Port"));
    m_ports->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    portCaption->setBuddy(m_ports);
    portRow->addWidget(portCaption);
    portRow->addWidget(m_ports);
    layout->addLayout(portRow);

    auto* identityBox = new QGroupBox(QStringLiteral("Serving cell"));
    // Two pairs a line: technology and network, area and cell, code and channel, band and age.
    identityBox->setLayout(IdentityGrid(
        {"Technology", "MCC / MNC", "TAC", "Cell ID", "PCI", "EARFCN", "Band", "Identity age"},
        m_identity));
    layout->addWidget(identityBox);

    auto* signalBox = new QGroupBox(QStringLiteral("Signal"));
    auto* signalGrid = new QGridLayout(signalBox);
    for (std::size_t i = 0; i < m_signal.size(); ++i) {
        m_signal[i] = MakeSignalRow(QString::fromLatin1(kLteSignals[i].name), *signalGrid,
                                    static_cast<int>(i));
    }
    signalGrid->setColumnStretch(1, 1);
    layout->addWidget(signalBox);

    auto* neighbourBox = new QGroupBox(QStringLiteral("Neighbours and aggregated cells"));
    auto* neighbourLayout = new QVBoxLayout(neighbourBox);
    m_neighbourCount = ValueField(QStringLiteral("Neighbour count"));
    m_neighbours = new QTableWidget(0, static_cast<int>(std::size(kNeighbourHeaders)));
    m_neighbours->setAccessibleName(QStringLiteral("LTE neighbours"));
    QStringList headers;
    for (const char* h : kNeighbourHeaders) {
        headers << QString::fromLatin1(h);
    }
    m_neighbours->setHorizontalHeaderLabels(headers);
    m_neighbours->verticalHeader()->setVisible(false);
    m_neighbours->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_neighbours->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_neighbours->setTabKeyNavigation(false);  // Tab leaves the table, arrows move inside
    m_neighbours->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_neighbours->horizontalHeader()->setSectionResizeMode(kColCell, QHeaderView::Stretch);
    m_neighbours->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // What a user came for: eight rows without scrolling at any size; more as the window grows.
    m_neighbours->setMinimumHeight(m_neighbours->horizontalHeader()->sizeHint().height() +
                                   kNeighbourRowsShown * (fontMetrics().height() + 6) +
                                   2 * m_neighbours->frameWidth() + 2);
    neighbourLayout->addWidget(m_neighbourCount);
    neighbourLayout->addWidget(m_neighbours);
    layout->addWidget(neighbourBox, 3);

    auto* historyBox = new QGroupBox(QStringLiteral("Last 10 minutes"));
    auto* historyLayout = new QVBoxLayout(historyBox);
    m_plot = new HistoryPlot(m_history);
    historyLayout->addWidget(m_plot);
    layout->addWidget(historyBox, 2);

    auto* positionRow = new QHBoxLayout;
    auto* positionCaption = new QLabel(QStringLiteral("Position"));
    m_position = ValueField(QStringLiteral("Position"));
    m_position->setText(QStringLiteral("no receiver"));
    positionRow->addWidget(positionCaption);
    positionRow->addWidget(m_position, 1);
    layout->addLayout(positionRow);

    m_status = ValueField(QStringLiteral("Status"));
    m_status->setText(source != nullptr ? QString() : QStringLiteral("No modem connected"));
    layout->addWidget(m_status);

    auto* right = new QVBoxLayout;
    columns->addLayout(right, 1);
    auto* nrBox = new QGroupBox(QStringLiteral("NR cell"));
    auto* nrGrid = new QGridLayout(nrBox);
    nrGrid->addLayout(
        IdentityGrid({"NR PCI", "NR-ARFCN", "NR band", "NR cell ID", "NR TAC", "NR MCC / MNC"},
                     m_nrIdentity),
        0, 0, 1, 4);
    m_nrSignal = {MakeSignalRow(QStringLiteral("SS-RSRP"), *nrGrid, 1),
                  MakeSignalRow(QStringLiteral("SS-RSRQ"), *nrGrid, 2)};
    nrGrid->setColumnStretch(1, 1);
    right->addWidget(nrBox);

    auto* signallingBox = new QGroupBox(QStringLiteral("Signalling"));
    auto* signallingLayout = new QVBoxLayout(signallingBox);
    m_rrcState = ValueField(QStringLiteral("RRC state"));
    m_signalling = new SignallingList;
    signallingLayout->addWidget(m_rrcState);
    signallingLayout->addWidget(m_signalling, 1);
    right->addWidget(signallingBox, 1);

    if (m_source != nullptr) {
        m_source->ShowIn(this);  // before the first port is chosen
    }
    const bool preselected = FillPortCombo(*m_ports);
    // SESSION WIRING: the only place the window talks to the modem's side. It starts on the
    // port the list chose (a diagnostics port, or the simulator), and on every port the user
    // chooses.
    const auto selectPort = [this](int index) {
        if (m_source != nullptr && index >= 0) {
            m_store.ChooseRadioAgain();
            m_source->SelectPort(PortComboEntry(*m_ports, index));
        }
    };
    connect(m_ports, &QComboBox::activated, this, selectPort);
    if (preselected) {
        selectPort(m_ports->currentIndex());
    }
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, this, &QWidget::close);

    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, &RadioWindow::OnTick);
    m_timer->start(kRenderIntervalMs);
    Render();
    setStyleSheet(QString::fromLatin1(kValueStyle));
    // As tall as the window likes to be, but no taller than the screen leaves room for (the
    // plot gives way first); the title bar and a panel take about 60 pixels more.
    // As wide as the cell and its signalling side by side want, within the screen's width.
    const QScreen* shown = screen();
    const int room = shown != nullptr ? shown->availableGeometry().height() - 60 : 860;
    const int across = shown != nullptr ? shown->availableGeometry().width() - 20 : 1300;
    resize(std::max(minimumSizeHint().width(), std::min(across, 1300)),
           std::max(minimumSizeHint().height(), std::min(room, 860)));
}

RadioWindow::~RadioWindow() {
    delete m_gpsNotifier;  // before the client closes its descriptor
    if (m_source != nullptr) {
        m_source->Stop();
    }
}

void RadioWindow::closeEvent(QCloseEvent* event) {
    if (m_source != nullptr) {
        m_source->Stop();
        m_source = nullptr;
    }
    m_timer->stop();
    QWidget::closeEvent(event);
}

void RadioWindow::TakeReport(const DecodedLogFrame& frame) {
    if (frame.kind != LogFrameKind::Rrc && frame.kind != LogFrameKind::RrcSegment &&
        frame.kind != LogFrameKind::Nas) {
        m_store.Take(frame);
        return;
    }
    const std::int64_t unixMs = frame.hasModemTime
                                    ? frame.modemTimeUnixMs
                                    : std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count();
    m_signalling->Take(frame, unixMs);
}

void RadioWindow::SetStatusText(const QString& text) {
    QMetaObject::invokeMethod(this, [this, text] { m_status->setText(text); });
}

void RadioWindow::OnTick() {
    const RadioClock::time_point now = m_store.Now();
    if (m_store.Taken() != m_drawnTaken || now - m_drawnAt >= std::chrono::seconds(1)) {
        Render();
    }
}

void RadioWindow::Render() {
    m_drawnTaken = m_store.CopyTo(m_view);
    const RadioClock::time_point now = m_store.Now();
    m_drawnAt = now;
    ++m_renders;
    const Technology tech = CurrentTechnology(m_view);
    RenderIdentity(tech, now);
    RenderSignal(tech, now);
    RenderNeighbours(now);
    RenderNr(now);
    RecordHistory(tech, now);
    if (m_signalling->Show() > 0) {
        m_history.MarkHandover(
            std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count());
    }
    const RrcState rrc = m_signalling->State();
    Show(m_rrcState, rrc == RrcState::kConnected ? QStringLiteral("RRC connected")
                     : rrc == RrcState::kIdle    ? QStringLiteral("RRC idle")
                                                 : QString::fromLatin1(kNoReportText));
    Dim(m_rrcState, rrc == RrcState::kUnknown);
}

void RadioWindow::RecordHistory(Technology tech, RadioClock::time_point now) {
    // New reports only: a value that merely stays fresh is not measured again.
    // NR alone (standalone): its serving cell is the one drawn as serving.
    const NrServing nr = tech == Technology::None ? NrServingCell(m_view, now) : NrServing{};
    if (m_drawnTaken != m_historyTaken && (tech != Technology::None || nr.has)) {
        m_historyTaken = m_drawnTaken;
        const bool lte = tech != Technology::Wcdma;
        ServingSignal s = lte ? LteServingSignal(m_view, now) : WcdmaServingSignal(m_view, now);
        std::uint32_t channel = 0;
        m_neighbourValues.clear();
        if (nr.has) {
            s.has = true;
            s.cellCode = nr.pci;
            s.values = {nr.values[0], nr.values[1], 0};
            channel = nr.arfcn;
        }
        if (lte) {
            const std::optional<MeasuredServingCell> named = LteServingCellNamed(m_view, now);
            channel = named ? named->earfcn : channel;
            for (const NeighbourRow& n : LteNeighbourRows(m_view, now)) {
                m_neighbourValues.push_back({{true, n.earfcn, n.pci},
                                             static_cast<float>(n.rsrp),
                                             static_cast<float>(n.rsrq)});
            }
        } else if (m_view.cellList.FreshAt(now)) {
            const CellReport& list = m_view.cellList.report;
            const int count = std::clamp(list.wcdmaCellCount, 0, int(list.cells.size()));
            for (int i = 0; i < count; ++i) {
                const CellEntry& c = list.cells[static_cast<std::size_t>(i)];
                if (c.psc == s.cellCode) {
                    channel = static_cast<std::uint32_t>(c.uarfcn);
                    continue;
                }
                m_neighbourValues.push_back({{false, static_cast<std::uint32_t>(c.uarfcn),
                                              static_cast<std::uint16_t>(c.psc)},
                                             static_cast<float>(c.rscp),
                                             static_cast<float>(EcIoDb(c))});
            }
        }
        const HistoryValue serving{{lte, channel, s.cellCode},
                                   static_cast<float>(s.values[0]),
                                   static_cast<float>(s.values[1])};
        const auto second =
            std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
        m_history.Take(second, s.has ? &serving : nullptr, m_neighbourValues);
        m_plot->SetLte(lte);
    }
    // The plot moves a pixel column a second at most: drawn again once a second.
    const auto second =
        std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    if (second != m_plottedSecond) {
        m_plottedSecond = second;
        m_plot->update();
    }
}

void RadioWindow::FollowGps(std::string_view address) {
    m_gps = std::make_unique<GpsFollower>(
        address, [this](const Position& p) { TakePosition(p); },
        [this](GpsFollower::Gpsd state, const std::string& text) {
            const bool answers =
                state == GpsFollower::Gpsd::kAnswers || state == GpsFollower::Gpsd::kBack;
            Show(m_position, answers ? QStringLiteral("no fix") : QString::fromStdString(text));
        });
    m_gpsRetry = new QTimer(this);
    m_gpsRetry->setSingleShot(true);
    connect(m_gpsRetry, &QTimer::timeout, this, &RadioWindow::WatchGps);
    WatchGps();
}

void RadioWindow::WatchGps() {
    m_gps->Retry();
    const int fd = m_gps->Fd();
    if (m_gpsNotifier != nullptr && m_gpsNotifier->socket() != fd) {
        m_gpsNotifier->setEnabled(false);  // its descriptor is closed; it may be signalling now
        m_gpsNotifier->deleteLater();
        m_gpsNotifier = nullptr;
    }
    if (fd >= 0 && m_gpsNotifier == nullptr) {
        m_gpsNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(m_gpsNotifier, &QSocketNotifier::activated, this, [this] {
            m_gps->Read();
            WatchGps();
        });
    }
    if (const auto wait = m_gps->RetryIn(GpsFollower::Clock::now())) {
        m_gpsRetry->start(*wait);
    }
}

void RadioWindow::TakePosition(const Position& p) {
    if (m_source != nullptr) {
        m_source->TakePosition(p);
    }
    if (p.fix == FixMode::kNone) {
        Show(m_position, QStringLiteral("no fix"));
        return;
    }
    QString text = QStringLiteral("%1\u00b0 %2, %3\u00b0 %4")
                       .arg(std::abs(p.lat), 0, 'f', 5)
                       .arg(p.lat >= 0 ? QLatin1Char('N') : QLatin1Char('S'))
                       .arg(std::abs(p.lon), 0, 'f', 5)
                       .arg(p.lon >= 0 ? QLatin1Char('E') : QLatin1Char('W'));
    if (std::isfinite(p.alt)) {
        text += QStringLiteral(", %1 m").arg(p.alt, 0, 'f', 0);
    }
    if (std::isfinite(p.speed)) {
        text += QStringLiteral(", %1 km/h").arg(p.speed * 3.6, 0, 'f', 0);
    }
    text += p.fix == FixMode::k3d ? QStringLiteral(" (3D fix)") : QStringLiteral(" (2D fix)");
    Show(m_position, text);
}

void RadioWindow::SetField(IdentityField& field, const QString& caption, const QString& text,
                           bool fresh) {
    if (!caption.isEmpty() && field.caption->text() != caption) {
        field.caption->setText(caption);
        field.value->setAccessibleName(caption);
    }
    Show(field.value, fresh ? text : QString::fromLatin1(kNoReportText));
    Dim(field.value, !fresh);
}

void RadioWindow::RenderIdentity(Technology tech, RadioClock::time_point now) {
    const bool lte = tech != Technology::Wcdma;
    // An identity of another cell than the one measured now is no longer shown at all.
    const bool has = lte ? LteIdentityOfServingCell(m_view) : m_view.wcdmaCell.has;
    const bool fresh = has && (lte ? m_view.lteCell.FreshAt(now) : m_view.wcdmaCell.FreshAt(now));
    // NR alone is standalone; beside a fresh LTE report, non-standalone.
    const bool nr = NrLive(m_view, now);
    const bool lteLive = tech == Technology::Lte && LteServingCellNamed(m_view, now).has_value();
    QString techText = tech == Technology::None ? (nr ? QStringLiteral("NR") : QString())
                       : !lte                   ? QStringLiteral("WCDMA")
                       : nr && lteLive          ? QStringLiteral("LTE + NR")
                                                : QStringLiteral("LTE");
    if (m_view.radio.Chosen() != 0) {
        techText += QStringLiteral(" (radio %1)").arg(m_view.radio.Chosen());
    }
    SetField(m_identity[kTechnology], {}, techText, !techText.isEmpty());
    std::array<QString, kIdentityAge> texts;
    if (lte) {
        const LteCellIdentity& c = m_view.lteCell.report;
        texts = {techText,
                 NetworkText(c.plmn),
                 QString::number(c.tac),
                 QStringLiteral("%1 (eNB %2, cell %3)")
                     .arg(c.cellId)
                     .arg(c.cellId >> 8)
                     .arg(c.cellId & 0xFF),
                 QString::number(c.pci),
                 QStringLiteral("%1 (UL %2)").arg(c.earfcnDl).arg(c.earfcnUl),
                 QString::number(c.band) + BandwidthText(c.bandwidthDlRb)};
    } else {
        const WcdmaCellIdentity& c = m_view.wcdmaCell.report;
        const auto dl = static_cast<std::int32_t>(c.uarfcnDl);
        const char* band = DownlinkBand(dl);
        texts = {techText,
                 NetworkText(c.plmn),
                 QString::number(c.lac),
                 QStringLiteral("%1 (RNC %2, cell %3)")
                     .arg(c.cellId)
                     .arg(c.cellId >> 16)
                     .arg(c.cellId & 0xFFFF),
                 QString::number(c.psc),
                 QStringLiteral("%1 (UL %2)").arg(c.uarfcnDl).arg(c.uarfcnUl),
                 QStringLiteral("%1, %2 MHz")
                     .arg(band != nullptr ? QString::fromLatin1(band) : QStringLiteral("none"))
                     .arg(DownlinkFrequencyMhz(dl))};
    }
    SetField(m_identity[kPlmn], {}, texts[kPlmn], fresh);
    SetField(m_identity[kArea], lte ? QStringLiteral("TAC") : QStringLiteral("LAC"), texts[kArea],
             fresh);
    SetField(m_identity[kCellId], {}, texts[kCellId], fresh);
    // LTE: the serving cell's PCI, EARFCN and band as soon as a measurement names them.
    bool named = fresh;
    if (lte && !fresh) {
        if (const std::optional<MeasuredServingCell> cell = LteServingCellNamed(m_view, now)) {
            named = true;
            texts[kCellCode] = QString::number(cell->pci);
            texts[kChannel] = QString::number(cell->earfcn);
            const std::uint32_t band = LteBandOfEarfcn(cell->earfcn);
            texts[kBand] = band != 0 ? QString::number(band) : QStringLiteral("unknown");
        }
    }
    SetField(m_identity[kCellCode], lte ? QStringLiteral("PCI") : QStringLiteral("PSC"),
             texts[kCellCode], named);
    SetField(m_identity[kChannel], lte ? QStringLiteral("EARFCN") : QStringLiteral("UARFCN"),
             texts[kChannel], named);
    SetField(m_identity[kBand], {}, texts[kBand], named);
    const RadioClock::time_point at = lte ? m_view.lteCell.at : m_view.wcdmaCell.at;
    SetField(m_identity[kIdentityAge], {}, Seconds(now - at), has);
    Dim(m_identity[kIdentityAge].value, !fresh);
}

void RadioWindow::RenderSignal(Technology tech, RadioClock::time_point now) {
    const bool lte = tech != Technology::Wcdma;
    const ServingSignal s = lte ? LteServingSignal(m_view, now) : WcdmaServingSignal(m_view, now);
    const auto& names = lte ? kLteSignals : kWcdmaSignals;
    for (std::size_t i = 0; i < m_signal.size(); ++i) {
        SignalRow& row = m_signal[i];
        const bool used = static_cast<int>(i) < s.count;
        for (QWidget* w : {static_cast<QWidget*>(row.caption), static_cast<QWidget*>(row.bar),
                           static_cast<QWidget*>(row.value), static_cast<QWidget*>(row.age)}) {
            w->setVisible(used);
        }
        if (!used) {
            continue;
        }
        const QString name = QString::fromLatin1(names[i].name);
        if (row.caption->text() != name) {
            row.caption->setText(name);
            row.value->setAccessibleName(name);
            row.age->setAccessibleName(name + QStringLiteral(" age"));
            row.bar->setAccessibleName(name + QStringLiteral(" bar"));
        }
        ShowSignal(row, s.has && s.present[i], s.values[i], *names[i].scale, names[i].unit,
                   now - s.at);
    }
}

void RadioWindow::RenderNr(RadioClock::time_point now) {
    const NrServing s = NrServingCell(m_view, now);
    const NrCellIdentity& c = m_view.nrCell.report;
    const bool named = s.has || s.identity;
    SetField(m_nrIdentity[kNrPci], {}, QString::number(s.pci), named);
    SetField(m_nrIdentity[kNrArfcn], {},
             s.identity ? QStringLiteral("%1 (UL %2)").arg(s.arfcn).arg(c.arfcnUl)
                        : QString::number(s.arfcn),
             named);
    SetField(m_nrIdentity[kNrBand], {},
             QStringLiteral("n%1, %2 MHz").arg(c.band).arg(c.bandwidthDlMhz), s.identity);
    SetField(m_nrIdentity[kNrCellId], {},
             QStringLiteral("%1 (gNB %2, cell %3)")
                 .arg(c.cellId)
                 .arg(c.cellId >> kNrCellBits)
                 .arg(c.cellId & ((1u << kNrCellBits) - 1)),
             s.identity);
    SetField(m_nrIdentity[kNrTac], {}, QString::number(c.tac), s.identity);
    SetField(m_nrIdentity[kNrPlmn], {}, NetworkText(c.plmn), s.identity);
    static constexpr const SignalScale* kScales[] = {&kRsrpScale, &kRsrqScale};
    static constexpr const char* kUnits[] = {"dBm", "dB"};
    for (std::size_t i = 0; i < m_nrSignal.size(); ++i) {
        ShowSignal(m_nrSignal[i], s.has && s.present[i], s.values[i], *kScales[i], kUnits[i],
                   now - s.at);
    }
}

void RadioWindow::RenderNeighbours(RadioClock::time_point now) {
    const std::vector<NeighbourRow> rows = LteNeighbourRows(m_view, now);
    m_neighbours->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const NeighbourRow& n = rows[i];
        const QString cells[] = {QString::number(n.pci),
                                 QString::number(n.earfcn),
                                 Decibels(n.rsrp),
                                 Decibels(n.rsrq),
                                 n.hasRssi ? Decibels(n.rssi) : QString(),
                                 RoleText(n),
                                 Seconds(now - n.at)};
        for (int c = 0; c <= kColAge; ++c) {
            QTableWidgetItem* item = m_neighbours->item(static_cast<int>(i), c);
            if (item == nullptr) {
                item = new QTableWidgetItem;
                item->setTextAlignment(c == kColCell ? Qt::AlignLeft | Qt::AlignVCenter
                                                     : Qt::AlignRight | Qt::AlignVCenter);
                m_neighbours->setItem(static_cast<int>(i), c, item);
            }
            item->setText(cells[c]);
        }
        const Quality q = Rate(n.rsrp, kRsrpScale);
        m_neighbours->item(static_cast<int>(i), kColRsrp)->setForeground(QualityColor(q));
    }
    Show(m_neighbourCount, rows.empty() ? QString::fromLatin1(kNoReportText)
                                        : QStringLiteral("%1 cells").arg(rows.size()));
    Dim(m_neighbourCount, rows.empty());
}

}  // namespace norvane
