// The window of today's radio: the serving cell's identity (LTE or WCDMA), its signal with bars
// rated good / fair / poor, the LTE neighbours and aggregated cells sorted by strength, and the
// age of every value. A value whose report is older than kStaleAfter reads "no report yet".
//
// Reports come in through TakeReport from any thread (the receive thread); the store keeps the
// latest of each kind and a timer on the UI thread draws what changed at most every
// kRenderInterval, so the window keeps up with any rate without queueing anything.
//
// Below them, the history of the last ten minutes (radio/history_plot.h), and the position gpsd
// reports with its fix state, once FollowGps is called. Beside them, the modem's signalling
// (radio/signalling_list.h) under its RRC state.
//
// Every value is a read-only text field with an accessible name (its caption) that the Tab key
// reaches; the neighbour table is one focusable table.
//
// Use:
//   auto* radio = new norvane::RadioWindow(source);   // source may be nullptr
//   radio->show();
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "position/gps_follower.h"
#include "radio/serving_cell.h"
#include "radio/signal_history.h"
#include "session/latest_reports.h"

class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSocketNotifier;
class QTableWidget;
class QTimer;

namespace norvane {

class HistoryPlot;
class SignallingList;

inline constexpr char kNoReportText[] = "no report yet";
inline constexpr int kRenderIntervalMs = 50;  // at most 20 drawings a second

class RadioWindow;

// The modem's side of the window. The monitoring session becomes one once it switches the LTE
// and WCDMA identity logs on; until then the window runs without a source. The window calls
// these on the UI thread; the source hands reports to RadioWindow::TakeReport and texts to
// RadioWindow::SetStatusText from any thread.
class RadioReportSource {
  public:
    virtual ~RadioReportSource() = default;
    // The window that shows what the source hands on (nullptr: none any more). The window calls
    // it first thing, so that even its first port's failure reaches its status line.
    virtual void ShowIn(RadioWindow* window) { static_cast<void>(window); }
    // The user chose `portEntry` ("device - description") in the port list.
    virtual void SelectPort(std::string_view portEntry) = 0;
    // The window is closing: nothing may call into it after this returns.
    virtual void Stop() = 0;
    // A fix worth telling (at most one a second), or the loss of the fix (kNone), for the
    // recording.
    virtual void TakePosition(const Position& position) { static_cast<void>(position); }
};

class RadioWindow : public QWidget {
    Q_OBJECT

  public:
    // `clock` replaces the steady clock (tests); empty: the steady clock.
    explicit RadioWindow(RadioReportSource* source = nullptr, QWidget* parent = nullptr,
                         RadioClockSource clock = {});
    ~RadioWindow() override;

    // Any thread; never blocks on the UI.
    void TakeReport(const DecodedLogFrame& frame);
    void SetStatusText(const QString& text);

    // Draws the latest reports now; the timer calls it when something is new, and every second
    // for the ages.
    void Render();
    std::uint64_t Renders() const { return m_renders; }

    // Takes positions from gpsd at `address` ("HOST[:PORT]", "" for localhost:2947) on the event
    // loop, at the pace position/gps_follower.h sets; while gpsd is absent it is asked again
    // every few seconds.
    void FollowGps(std::string_view address);
    // Shows `position` (a fix worth telling, or the loss of the fix) and hands it to the source.
    void TakePosition(const Position& position);

    const SignalHistory& History() const { return m_history; }
    HistoryPlot& Plot() { return *m_plot; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    struct SignalRow {
        QLabel* caption;
        QProgressBar* bar;
        QLineEdit* value;
        QLineEdit* age;
    };
    struct IdentityField {
        QLabel* caption;
        QLineEdit* value;
    };
    enum Identity { kTechnology, kPlmn, kArea, kCellId, kCellCode, kChannel, kBand, kIdentityAge };

    // Two caption and value pairs a line, one per name, into `fields` (as many as the names).
    static QGridLayout* IdentityGrid(std::initializer_list<const char*> names,
                                     std::span<IdentityField> fields);
    static SignalRow MakeSignalRow(const QString& name, QGridLayout& grid, int row);
    static void ShowSignal(SignalRow& row, bool has, double value, const SignalScale& scale,
                           const char* unit, RadioClock::duration age);
    void RenderNr(RadioClock::time_point now);
    void OnTick();
    void RenderIdentity(Technology tech, RadioClock::time_point now);
    void RenderSignal(Technology tech, RadioClock::time_point now);
    void RenderNeighbours(RadioClock::time_point now);
    void RecordHistory(Technology tech, RadioClock::time_point now);
    // Connects to gpsd when due, and watches its connection or waits for the next try.
    void WatchGps();
    void SetField(IdentityField& field, const QString& caption, const QString& text, bool fresh);

    RadioReportSource* m_source;
    LatestReports m_store;
    RadioReports m_view;  // the copy being drawn, UI thread only
    QComboBox* m_ports = nullptr;
    std::array<IdentityField, 8> m_identity{};
    std::array<SignalRow, 3> m_signal{};
    enum NrIdentity { kNrPci, kNrArfcn, kNrBand, kNrCellId, kNrTac, kNrPlmn };
    std::array<IdentityField, 6> m_nrIdentity{};
    std::array<SignalRow, 2> m_nrSignal{};
    QLineEdit* m_neighbourCount = nullptr;
    QTableWidget* m_neighbours = nullptr;
    QLineEdit* m_status = nullptr;
    QLineEdit* m_rrcState = nullptr;
    SignallingList* m_signalling = nullptr;  // takes messages from any thread
    QTimer* m_timer = nullptr;
    std::uint64_t m_drawnTaken = ~std::uint64_t{0};
    RadioClock::time_point m_drawnAt{};
    std::uint64_t m_renders = 0;
    std::uint64_t m_historyTaken = ~std::uint64_t{0};
    SignalHistory m_history;
    std::vector<HistoryValue> m_neighbourValues;  // reused, never shrinks
    HistoryPlot* m_plot = nullptr;
    std::int64_t m_plottedSecond = -1;
    QLineEdit* m_position = nullptr;
    std::unique_ptr<GpsFollower> m_gps;
    QSocketNotifier* m_gpsNotifier = nullptr;
    QTimer* m_gpsRetry = nullptr;
};

}  // namespace norvane
