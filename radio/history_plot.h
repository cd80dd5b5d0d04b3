// The history plot: the level (RSRP or RSCP) above and the quality (RSRQ or Ec/Io) below over the
// last ten minutes, one line per cell in a colour of its own, the serving cell's stretches drawn
// thick, handovers as dashed vertical lines, the good and fair limits as faint lines, and a
// legend naming each cell. It draws what a SignalHistory holds; its owner says when to repaint.
#pragma once

#include <QStringList>
#include <QWidget>

#include "radio/signal_history.h"

namespace norvane {

class HistoryPlot : public QWidget {
  public:
    explicit HistoryPlot(const SignalHistory& history, QWidget* parent = nullptr);

    // LTE (RSRP, RSRQ) or WCDMA (RSCP, Ec/Io) axes.
    void SetLte(bool lte);
    // The cells of the lines drawn last ("PCI 405 on 5780 (serving)"), in track order.
    const QStringList& Legend() const { return m_legend; }
    QSize sizeHint() const override { return {520, 240}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const SignalHistory& m_history;
    bool m_lte = true;
    QStringList m_legend;
    int m_legendRows = 2;  // what the last drawing's legend took
};

}  // namespace norvane
