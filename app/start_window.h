// The start window: the picture, the homepage link, "NetMonitor", "Radio" and "Quit" (dialog
// 102).
#pragma once

#include <QIcon>
#include <QPointer>
#include <memory>

#include "app/demo_link.h"
#include "framework/dialog.h"

namespace norvane {

class FrameRecorder;
class RadioSession;
class RadioWindow;

class CTessalyDlg : public CDialog {
  public:
    explicit CTessalyDlg(QWidget* parent = nullptr);
    ~CTessalyDlg() override;

    static const MessageMap& ClassMessageMap();

    const QIcon& icon() const { return m_icon; }
    const CDemoLink& homepageLink() const { return m_homepageLink; }
    // Every monitor opened from here records into `recorder`, the radio window into `radio`
    // (nullptr: none). Both must outlive this window.
    void SetRecorders(FrameRecorder* recorder, FrameRecorder* radio) {
        m_recorder = recorder;
        m_radioRecorder = radio;
    }

  protected:
    const MessageMap& GetMessageMap() const override { return ClassMessageMap(); }
    bool OnInitDialog() override;

  private:
    void OnPictureClicked();
    void OnQuit();
    void OnNetMonitor();
    void OnRadio();

    QIcon m_icon;
    CDemoLink m_homepageLink;
    FrameRecorder* m_recorder = nullptr;
    FrameRecorder* m_radioRecorder = nullptr;
    QPointer<RadioWindow> m_radio;                 // one at a time, beside this window
    std::unique_ptr<RadioSession> m_radioSession;  // the modem side of m_radio
};

}  // namespace norvane
