#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QAction;
class QMenu;

// Click handler of a choice item; receives the clicked item, whose check mark the
// menu has already toggled.
using ChoiceHandler = std::function<void(QAction* sender)>;

// Every builder first removes the submenu's items (deferred deletion, so a submenu may
// be rebuilt inside the click handler of one of its own items) and then appends radio
// items of radio group `group` (one exclusive-optional action group per submenu).
void FillListMenu(QMenu* menu, const std::vector<std::string>& list, int group,
                  std::int32_t checked, const ChoiceHandler& handler);
// Items from the files matching mask (folder + wildcard), checked where the name equals
// current ignoring ASCII letter case.
void FillFileMenu(QMenu* menu, const std::string& mask, int group, const std::string& current,
                  const ChoiceHandler& handler);
void FillNumberMenu(QMenu* menu, std::int32_t from, std::int32_t to, int group,
                    std::int32_t checked, const ChoiceHandler& handler);
std::string StripAmpersands(const std::string& caption);

// The position of a choice item in its submenu (0-based).
int ItemPosition(const QAction* item);
// The caption of an item as 8-bit text (the file name of file-list items, with its "&").
std::string ItemCaption(const QAction* item);
