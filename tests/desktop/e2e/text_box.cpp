// A Qt text box with its line selected, for the hot-key runs: on the accessibility bus it is a
// toolkit that offers no collection interface, so the app walks its tree to find the focus; with
// --off-bus it keeps its selection when another program takes the primary selection, so the app
// has to send the copy keystroke to read it.

#include <QApplication>
#include <QPlainTextEdit>

#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--off-bus") == 0) {
        qputenv("QT_ACCESSIBILITY", "0");
    }
    QApplication application(argc, argv);
    QPlainTextEdit editor(QStringLiteral("A line to capture, again and again."));
    editor.setWindowTitle(QStringLiteral("notes"));
    editor.resize(500, 200);
    editor.show();
    editor.selectAll();
    return QApplication::exec();
}
