// A bare Qt Widgets window, built with the same compiler, flags and Qt as Keyquill: the
// yardstick for Keyquill's start-up time and memory. Like Keyquill, it leaves as soon as its
// event loop runs when KEYQUILL_BENCH_QUIT is set. "barewindow --read FILE" first reads the
// settings file FILE once, as the least a start with that store must do: the settings layer's
// parse of it and its list of master macros. "barewindow --pick FILE" holds the lines of FILE and
// shows them in a popup (a field over a plain list view, 640 by 400) on Ctrl+Alt+Q pressed in its
// window; Escape closes it: the yardstick for "Pick a note".
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QStringListModel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

class PickWindow final : public QMainWindow
{
public:
    explicit PickWindow(QStringList lines) : m_lines(std::move(lines)) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() != Qt::Key_Q ||
            event->modifiers() != (Qt::ControlModifier | Qt::AltModifier))
            return QMainWindow::keyPressEvent(event);
        auto *popup = new QWidget(nullptr, Qt::Popup);
        popup->setAttribute(Qt::WA_DeleteOnClose);
        auto *layout = new QVBoxLayout(popup);
        auto *field = new QLineEdit;
        auto *list = new QListView;
        list->setUniformItemSizes(true);
        list->setModel(new QStringListModel(m_lines, list));
        list->setCurrentIndex(list->model()->index(0, 0));
        layout->addWidget(field);
        layout->addWidget(list);
        new QShortcut(Qt::Key_Escape, popup, popup, &QWidget::close);
        QRect frame(0, 0, 640, 400);
        frame.moveCenter(screen()->availableGeometry().center());
        popup->setGeometry(frame);
        popup->show();
        field->setFocus();
    }

private:
    QStringList m_lines;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype read = arguments.indexOf(QStringLiteral("--read"));
    std::unique_ptr<QSettings> store;
    if (read > 0 && read + 1 < arguments.size()) {
        store = std::make_unique<QSettings>(arguments.at(read + 1), QSettings::IniFormat);
        store->beginGroup(QStringLiteral("MasterMacros"));
        store->childGroups();
    }
    const qsizetype pick = arguments.indexOf(QStringLiteral("--pick"));
    QStringList lines;
    if (pick > 0 && pick + 1 < arguments.size()) {
        QFile file(arguments.at(pick + 1));
        if (file.open(QIODevice::ReadOnly))
            lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    PickWindow window(lines);
    window.setWindowTitle(QStringLiteral("Bare window"));
    window.showMaximized();
    if (pick > 0) { // without a window manager the keyboard goes where the pointer is
        window.setGeometry(window.screen()->geometry());
        window.activateWindow();
    }
    if (qEnvironmentVariableIsSet("KEYQUILL_BENCH_QUIT"))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return QApplication::exec();
}
