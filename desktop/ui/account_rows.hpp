#pragma once

// The account rows of the menu: the signed-in e-mail with "Sign out", or the sign-in form behind
// "Sign in to tarvo…". The form's fields are the view's own; they keep what was typed while the
// app runs, since the menu closes whenever another window takes the focus.

#include <desktop/model/account_controller.hpp>

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvo::desktop {

class AccountRows : public QWidget {
    Q_OBJECT
public:
    AccountRows(AccountController& account, QWidget* parent = nullptr);

    // The sign-in hint, with the staging sentence in a staging build.
    static QString signInHint();

    void refresh();

private:
    void build();
    void submit();

    AccountController& account_;
    bool expanded_ = false;

    QWidget* signedIn_ = nullptr;
    QLabel* email_ = nullptr;
    QPushButton* signOut_ = nullptr;
    QPushButton* expand_ = nullptr;
    QWidget* form_ = nullptr;
    QLineEdit* emailField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* later_ = nullptr;
    QPushButton* signIn_ = nullptr;
    QLabel* note_ = nullptr;
};

} // namespace tarvo::desktop
