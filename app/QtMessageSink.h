// The window's message box: the program's own messages (and the errors caught at a
// handler's boundary) shown modally with an OK button; the caller goes on when it is
// dismissed.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include "base/MessageSink.h"

namespace orvane {

class QtMessageSink final : public MessageSink {
public:
    // parent: the window the box is modal to (may be null); icon: Information for the
    // program's notices, Critical for errors.
    explicit QtMessageSink(QWidget* parent = nullptr, QMessageBox::Icon icon = QMessageBox::NoIcon);

protected:
    void display(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
    QMessageBox::Icon icon_;
};

} // namespace orvane
