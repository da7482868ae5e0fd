// A separate application for the delivery tests: a text field that takes the X input focus and
// keeps it. It reports on stdout, one line each:
//   READY                  the field has the X input focus (on Wayland: the keyboard)
//   TEXT <base64 utf-8>    the field's content, after every change
//   CLIP <base64 utf-8>    the clipboard's text, on the command "clipboard"
// Commands on stdin, one a line: "clear", "clipboard", "quit".
#include <cstdio>
#include <cstdlib>
#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <unistd.h>

#include <xcb/xcb.h>

namespace {

void report(const char *tag, const QString &text)
{
    std::printf("%s %s\n", tag, text.toUtf8().toBase64().constData());
    std::fflush(stdout);
}

bool hasInputFocus(const QWidget &window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) // Wayland: the compositor gave the window the keyboard
        return window.isActiveWindow();
    xcb_connection_t *connection = x11->connection();
    xcb_get_input_focus_reply_t *reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (!reply)
        return false;
    const bool focused = reply->focus == window.winId();
    std::free(reply);
    return focused;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QPlainTextEdit field;
    field.setWindowTitle(QStringLiteral("textfieldhelper"));
    field.resize(400, 300);
    field.show();

    QObject::connect(&field, &QPlainTextEdit::textChanged, &field,
                     [&field] { report("TEXT", field.toPlainText()); });

    // No window manager on the test server: activateWindow() then sets the X input focus
    // itself. Keep checking, so the field holds the focus for the whole test.
    bool ready = false;
    QTimer focusKeeper;
    QObject::connect(&focusKeeper, &QTimer::timeout, &field, [&] {
        if (hasInputFocus(field) && QApplication::focusWidget() == &field) {
            if (!ready) {
                ready = true;
                std::printf("READY\n");
                std::fflush(stdout);
            }
            return;
        }
        field.activateWindow();
        field.setFocus();
    });
    focusKeeper.start(50);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &field, [&] {
        char buffer[256];
        const ssize_t count = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (count <= 0) {
            QApplication::quit();
            return;
        }
        pending.append(buffer, count);
        int end = 0;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "clear")
                field.clear();
            else if (command == "clipboard")
                report("CLIP", QApplication::clipboard()->text(QClipboard::Clipboard));
            else if (command == "quit")
                QApplication::quit();
        }
    });
    return QApplication::exec();
}
