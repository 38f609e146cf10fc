#include <desktop/ui/hotkey_rows.hpp>

#include <desktop/model/desktop_key_texts.hpp>
#include <desktop/model/qt_text.hpp>
#include <desktop/ui/menu_rows.hpp>

#include <capturekit/model/raw_value.hpp>

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarvo::desktop {

using namespace MenuRows;

namespace {

// The modifiers as a choice reads them: "Ctrl+Alt", without the "+" that waits for a letter.
QString choiceText(HotkeyCombo combo) {
    QString modifiers = qtText(glyphs(combo));
    if (modifiers.endsWith(QLatin1Char('+'))) {
        modifiers.chop(1);
    }
    return modifiers;
}

} // namespace

HotkeyRows::HotkeyRows(SelectionController& selection, QWidget* parent)
    : QWidget(parent), selection_(selection) {
    build();
    refresh();
}

void HotkeyRows::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    capture_ = new QCheckBox(QStringLiteral("Capture selected text"), this);
    captureNote_ = note(QString(), this);
    captureKey_ = note(QString(), this);
    captureStatus_ = note(QString(), this);
    auto* shortcutRow = new QHBoxLayout;
    shortcutLabel_ = plainLabel(QStringLiteral("Shortcut"), this);
    shortcut_ = new QComboBox(this);
    shortcut_->setAccessibleName(QStringLiteral("Shortcut"));
    shortcutLabel_->setBuddy(shortcut_);
    for (const auto combo : capturekit::allCases<HotkeyCombo>()) {
        shortcut_->addItem(choiceText(combo), qtText(capturekit::rawValue(combo)));
    }
    shortcutRow->addWidget(shortcutLabel_);
    shortcutRow->addWidget(shortcut_, 1);
    shortcutHint_ = note(QString(), this);
    quickEntry_ = new QCheckBox(QStringLiteral("Quick task to docket"), this);
    auto* quickNote = note(QStringLiteral("Type a thought, Enter sends it to docket’s inbox and "
                                          "keeps the box open for the next one. Esc closes."),
                           this);
    quickEntryKey_ = note(QString(), this);
    quickEntryStatus_ = note(QString(), this);
    configure_ = new QPushButton(QStringLiteral("Change keys in desktop settings…"), this);
    connect(configure_, &QPushButton::clicked, &selection_,
            &SelectionController::configureDesktopKeys);
    auto* newTask = new QPushButton(QStringLiteral("New task"), this);
    // Toggled, not clicked: assistive technologies toggle a check box without clicking it.
    connect(capture_, &QCheckBox::toggled, &selection_,
            &SelectionController::setSelectionHotkeyEnabled);
    connect(shortcut_, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto raw = shortcut_->itemData(index).toString().toStdString();
        if (const auto combo = capturekit::fromRawValue<HotkeyCombo>(raw)) {
            selection_.setHotkeyCombo(*combo);
        }
    });
    connect(quickEntry_, &QCheckBox::toggled, &selection_,
            &SelectionController::setQuickEntryEnabled);
    connect(newTask, &QPushButton::clicked, this, &HotkeyRows::newTaskRequested);
    layout->addWidget(capture_);
    layout->addWidget(captureNote_);
    layout->addWidget(captureKey_);
    layout->addWidget(captureStatus_);
    keysNote_ = note(QString(), this);
    keysNote_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(keysNote_);
    layout->addLayout(shortcutRow);
    layout->addWidget(shortcutHint_);
    layout->addWidget(quickEntry_);
    layout->addWidget(quickNote);
    layout->addWidget(quickEntryKey_);
    layout->addWidget(quickEntryStatus_);
    layout->addWidget(configure_, 0, Qt::AlignLeft);
    layout->addWidget(newTask, 0, Qt::AlignLeft);
}

void HotkeyRows::refresh() {
    const HotkeyCombo combo = selection_.hotkeyCombo();
    const auto desktopKeys = selection_.desktopKeys();
    setChecked(capture_, selection_.hotkeyEnabled());
    const QString keysNote = selection_.keysNote();
    const auto key = selection_.keyName(SelectionController::selectionKeyID, 'C');
    const QString press = key                  ? *key
                          : keysNote.isEmpty() ? QStringLiteral("the key your desktop set for it")
                                               : QStringLiteral("the key you bound to it");
    captureNote_->setText(QStringLiteral("Select text anywhere, press %1. Sends after a few "
                                         "seconds — Undo cancels it.")
                              .arg(press));
    showText(captureKey_, selection_.hotkeyEnabled()
                              ? selection_.desktopKeyLine(SelectionController::selectionKeyID)
                              : QString());
    showText(captureStatus_, selection_.hotkeyStatus());
    showText(keysNote_, keysNote);
    // Where the keys are bound by hand the combination has nothing to act on.
    const bool comboMatters = keysNote.isEmpty() || !desktopKeys;
    shortcutLabel_->setVisible(comboMatters);
    shortcut_->setVisible(comboMatters);
    {
        const QSignalBlocker quiet(shortcut_);
        shortcut_->setCurrentIndex(shortcut_->findData(qtText(capturekit::rawValue(combo))));
    }
    showText(shortcutHint_, !comboMatters ? QString()
                            : desktopKeys ? qtText(DesktopKeyTexts::proposalHint())
                            : hint(combo) ? qtText(*hint(combo))
                                          : QString());
    setChecked(quickEntry_, selection_.quickEntryEnabled());
    showText(quickEntryKey_, selection_.quickEntryEnabled()
                                 ? selection_.desktopKeyLine(SelectionController::quickEntryKeyID)
                                 : QString());
    showText(quickEntryStatus_, selection_.quickEntryStatus());
    configure_->setVisible(desktopKeys && desktopKeys->canConfigure);
}

} // namespace tarvo::desktop
