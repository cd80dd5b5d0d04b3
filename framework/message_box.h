// The one way the program shows a message: modal, OK button only, owned by a window. Tests
// replace the presenter with a recorder that answers OK at once.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace norvane {

struct MessageBoxCall {
    QWidget* owner;
    std::string text;
    std::string caption;
};

using MessageBoxPresenter = std::function<void(const MessageBoxCall&)>;

// Shows the message and returns when the user has closed it.
void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption);

// Replaces how messages are shown; an empty presenter restores the real message box. Returns
// the previous presenter.
MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace norvane
