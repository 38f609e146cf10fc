#pragma once

// The tray icon: "camera.viewfinder" while automatic capture is on, "camera" while it is off,
// drawn from the bundled SVGs; a staging build marks it "DEV".

#include <QIcon>
#include <QString>

namespace tarvo::desktop::TrayIcons {

QString symbolName(bool capturing);
// One of the app's bundled SVG symbols, by name ("camera", "wrench.and.screwdriver.fill", …).
QIcon bundled(const QString& name);
QIcon icon(bool capturing, bool staging);
QIcon applicationIcon();

} // namespace tarvo::desktop::TrayIcons
