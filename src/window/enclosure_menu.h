// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Enclosures past the first two have no button of their own: a "More..." button offers them in a
// menu, on the status page and on the Upgrade page alike, each with its product name and its
// state as the model has it.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace rur {
class Engine;
struct Enclosure;
}  // namespace rur

namespace rur::ui {

// How many enclosures have buttons of their own (Device1 and Device2).
constexpr unsigned kEnclosureButtons = 2;
inline const QString kMoreEnclosuresCaption = QStringLiteral("More...");

// The array's state in the status page's words, with what else is wrong (fan, heat, firmware).
QString EnclosureStateLine(const Enclosure& enclosure);
// "Device3  RODE RUR Dual Bay RAID [sdc1]: Normal", one per enclosure past the buttons.
QStringList MoreEnclosuresEntries(const Engine& engine);
// The menu under `button`; a chosen enclosure's position goes to `choose`. `current` is ticked.
void ShowMoreEnclosuresMenu(QWidget* button, const Engine& engine, unsigned current,
                            const std::function<void(unsigned)>& choose);

}  // namespace rur::ui
