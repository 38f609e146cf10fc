#pragma once

// The staging bar: first in the menu of a staging build, so nobody mistakes where captures go.
// A production build shows nothing.

#include <QWidget>

namespace tarvo::desktop {

class StagingBar : public QWidget {
    Q_OBJECT
public:
    explicit StagingBar(QWidget* parent = nullptr);
};

} // namespace tarvo::desktop
