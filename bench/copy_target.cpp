// The program the hot-key benchmark copies from: a text box whose selection stays when another
// program takes the primary selection, kept off the accessibility bus, so the app has to send the
// copy keystroke to read it.

#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char** argv) {
    qputenv("QT_ACCESSIBILITY", "0");
    QApplication application(argc, argv);
    QPlainTextEdit editor(QStringLiteral("A line to capture, again and again."));
    editor.setWindowTitle(QStringLiteral("notes"));
    editor.resize(500, 200);
    editor.show();
    editor.selectAll();
    return QApplication::exec();
}
