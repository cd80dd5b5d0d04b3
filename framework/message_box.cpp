#include "framework/message_box.h"

#include <QMessageBox>
#include <QString>

namespace norvane {
namespace {

MessageBoxPresenter& Presenter() {
    static MessageBoxPresenter presenter;
    return presenter;
}

}  // namespace

void ShowMessageBox(QWidget* owner, const std::string& text, const std::string& caption) {
    if (Presenter()) {
        Presenter()(MessageBoxCall{owner, text, caption});
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok, owner);
    box.exec();
}

MessageBoxPresenter SetMessageBoxPresenter(MessageBoxPresenter presenter) {
    MessageBoxPresenter previous = std::move(Presenter());
    Presenter() = std::move(presenter);
    return previous;
}

}  // namespace norvane
