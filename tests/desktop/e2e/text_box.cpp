// A Qt text box with its line selected, for the hot-key runs: on the accessibility bus it is a
// toolkit that offers no collection interface, so the app walks its tree to find the focus; with
// --off-bus it keeps its selection when another program takes the primary selection, so the app
// has to send the copy keystroke to read it; with --ignore-copy it is also off the bus, selects
// nothing and does nothing on the copy keystroke: a program known not to be a terminal (its
// process id is on its window) that never answers Copy, named tarvo_ignoring_copy.

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>

#include <cstring>

namespace {

class TextBox : public QPlainTextEdit {
public:
    TextBox(const QString& text, bool ignoresCopy)
        : QPlainTextEdit(text), ignoresCopy_(ignoresCopy) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (ignoresCopy_ && event->matches(QKeySequence::Copy)) {
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }

private:
    bool ignoresCopy_;
};

} // namespace

int main(int argc, char** argv) {
    const bool ignoresCopy = argc > 1 && std::strcmp(argv[1], "--ignore-copy") == 0;
    if (ignoresCopy || (argc > 1 && std::strcmp(argv[1], "--off-bus") == 0)) {
        qputenv("QT_ACCESSIBILITY", "0");
    }
    QApplication application(argc, argv);
    if (ignoresCopy) {
        // A window of its own name, told apart from a text box started before.
        QApplication::setApplicationName(QStringLiteral("tarvo_ignoring_copy"));
    }
    TextBox editor(QStringLiteral("A line to capture, again and again."), ignoresCopy);
    editor.setWindowTitle(QStringLiteral("notes"));
    editor.resize(500, 200);
    editor.show();
    if (!ignoresCopy) {
        editor.selectAll();
    }
    return QApplication::exec();
}
