#include <desktop/ui/account_rows.hpp>
#include <desktop/ui/plain_label.hpp>

#include <desktop/model/qt_text.hpp>
#include <desktop/ui/accessible_role.hpp>

#include <capturekit/account/capture_config.hpp>
#include <capturekit/account/platform_words.hpp>

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace tarvo::desktop {

using namespace capturekit;

namespace {

QLabel* wrappedLabel(const QString& text, QWidget* parent) {
    auto* label = plainLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

AccountRows::AccountRows(AccountController& account, QWidget* parent)
    : QWidget(parent), account_(account) {
    build();
    refresh();
}

QString AccountRows::signInHint() {
    QString hint =
        QStringLiteral("Same email and password as the tarvo web apps. Signing in sets ") +
        qtText(PlatformWords::thisMachine) +
        QStringLiteral(" up to capture — there’s nothing to paste.");
    const auto& environment = CaptureConfig::environment();
    if (environment.isStaging()) {
        const QString host = QUrl(QString::fromStdString(environment.webSuiteOrigin)).host();
        hint += QStringLiteral(" STAGING build — ") + host + QStringLiteral(" / project ") +
                QString::fromStdString(environment.supabaseProjectID) +
                QStringLiteral(". Your production password is rejected here on purpose; use the "
                               "staging login.");
    }
    return hint;
}

void AccountRows::build() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    signedIn_ = new QWidget(this);
    auto* signedInRow = new QHBoxLayout(signedIn_);
    signedInRow->setContentsMargins(0, 0, 0, 0);
    auto* person = plainLabel(signedIn_);
    person->setPixmap(QIcon::fromTheme(QStringLiteral("avatar-default")).pixmap(18, 18));
    person->setAccessibleName(QStringLiteral("Signed in"));
    email_ = plainLabel(signedIn_);
    signOut_ = new QPushButton(QStringLiteral("Sign out"), signedIn_);
    connect(signOut_, &QPushButton::clicked, &account_, &AccountController::signOut);
    signedInRow->addWidget(person);
    signedInRow->addWidget(email_, 1);
    signedInRow->addWidget(signOut_);
    layout->addWidget(signedIn_);

    expand_ = new QPushButton(QStringLiteral("Sign in to tarvo…"), this);
    connect(expand_, &QPushButton::clicked, this, [this] {
        expanded_ = true;
        refresh();
        emailField_->setFocus();
    });
    layout->addWidget(expand_);

    form_ = new QWidget(this);
    auto* form = new QVBoxLayout(form_);
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(plainLabel(QStringLiteral("Sign in to start capturing."), form_));
    emailField_ = new QLineEdit(form_);
    emailField_->setPlaceholderText(QStringLiteral("Email"));
    emailField_->setAccessibleName(QStringLiteral("Email"));
    passwordField_ = new QLineEdit(form_);
    passwordField_->setPlaceholderText(QStringLiteral("Password"));
    passwordField_->setAccessibleName(QStringLiteral("Password"));
    passwordField_->setEchoMode(QLineEdit::Password);
    connect(emailField_, &QLineEdit::returnPressed, passwordField_,
            qOverload<>(&QWidget::setFocus));
    connect(passwordField_, &QLineEdit::returnPressed, this, &AccountRows::submit);
    form->addWidget(emailField_);
    form->addWidget(passwordField_);
    form->addWidget(wrappedLabel(signInHint(), form_));
    auto* buttons = new QHBoxLayout;
    later_ = new QPushButton(QStringLiteral("Later"), form_);
    signIn_ = new QPushButton(QStringLiteral("Sign in"), form_);
    connect(later_, &QPushButton::clicked, this, [this] {
        expanded_ = false;
        refresh();
    });
    connect(signIn_, &QPushButton::clicked, this, &AccountRows::submit);
    buttons->addStretch(1);
    buttons->addWidget(later_);
    buttons->addWidget(signIn_);
    form->addLayout(buttons);
    layout->addWidget(form_);

    // Shown signed in too: a failed set-up of this computer leaves the person signed in.
    error_ = wrappedLabel(QString(), this);
    setAccessibleRole(*error_, QAccessible::AlertMessage);
    layout->addWidget(error_);
    note_ = wrappedLabel(QString(), this);
    layout->addWidget(note_);
}

void AccountRows::submit() {
    if (!account_.accountBusy()) {
        account_.signIn(emailField_->text(), passwordField_->text());
    }
}

void AccountRows::refresh() {
    const bool signedIn = !account_.signedInEmail().isEmpty();
    if (signedIn && expanded_) {
        // Done with: the password is not kept a moment longer.
        expanded_ = false;
        emailField_->clear();
        passwordField_->clear();
    }
    signedIn_->setVisible(signedIn);
    email_->setText(account_.signedInEmail());
    signOut_->setEnabled(!account_.accountBusy());
    expand_->setVisible(!signedIn && !expanded_);
    form_->setVisible(!signedIn && expanded_);
    const bool newError = error_->text() != account_.accountError();
    error_->setText(account_.accountError());
    error_->setAccessibleName(account_.accountError());
    error_->setVisible(!account_.accountError().isEmpty());
    if (newError && error_->isVisible()) {
        announceAlert(*error_);
    }
    later_->setVisible(!account_.accountBusy());
    signIn_->setVisible(!account_.accountBusy());
    note_->setText(account_.credentialsNote());
    note_->setVisible(!account_.credentialsNote().isEmpty());
}

} // namespace tarvo::desktop
