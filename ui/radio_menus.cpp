#include "radio_menus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QVariant>
#include <string>

#include "files.h"

namespace {

// The object name of the action group that every choice submenu owns.
constexpr char kGroupObjectName[] = "radioItems";
// The property that holds an item's radio group number.
constexpr char kRadioGroupProperty[] = "radioGroup";
// The property that holds the bytes an item's caption was made from.
constexpr char kCaptionBytesProperty[] = "captionBytes";

// Captions are file names, instrument names and numbers: bytes in the platform's 8-bit
// encoding, shown as the file system names them.
QString LocalCaption(const std::string& caption) {
  return QString::fromLocal8Bit(caption.data(), static_cast<qsizetype>(caption.size()));
}

// Removes every item of the submenu and gives back its (now empty) action group. The
// old items are deleted only when control returns to the event loop: the rebuild may
// run inside the click handler of one of them.
QActionGroup* ClearMenu(QMenu* menu) {
  auto* group =
      menu->findChild<QActionGroup*>(QLatin1String(kGroupObjectName), Qt::FindDirectChildrenOnly);
  if (group == nullptr) {
    group = new QActionGroup(menu);
    group->setObjectName(QLatin1String(kGroupObjectName));
    group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  }
  const QList<QAction*> old = menu->actions();
  for (QAction* action : old) {
    menu->removeAction(action);
    if (action->actionGroup() == group) group->removeAction(action);
    action->disconnect();
    action->deleteLater();
  }
  return group;
}

void AppendItem(QMenu* menu, QActionGroup* group, const std::string& caption, int radioGroup,
                bool checked, const ChoiceHandler& handler) {
  auto* action = new QAction(LocalCaption(caption), menu);
  action->setProperty(kCaptionBytesProperty,
                      QByteArray(caption.data(), static_cast<qsizetype>(caption.size())));
  action->setCheckable(true);
  action->setProperty(kRadioGroupProperty, radioGroup);
  group->addAction(action);
  action->setChecked(checked);
  QObject::connect(action, &QAction::triggered, action, [handler, action](bool) {
    if (handler) handler(action);
  });
  menu->addAction(action);
}

}  // namespace

void FillListMenu(QMenu* menu, const std::vector<std::string>& list, int group,
                  std::int32_t checked, const ChoiceHandler& handler) {
  QActionGroup* actions = ClearMenu(menu);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const bool isChecked = checked >= 0 && static_cast<std::size_t>(checked) == i;
    AppendItem(menu, actions, list[i], group, isChecked, handler);
  }
}

void FillFileMenu(QMenu* menu, const std::string& mask, int group, const std::string& current,
                  const ChoiceHandler& handler) {
  QActionGroup* actions = ClearMenu(menu);
  for (const std::string& name : FindFiles(mask)) {
    AppendItem(menu, actions, name, group, SameNameIgnoringCase(name, current), handler);
  }
}

void FillNumberMenu(QMenu* menu, std::int32_t from, std::int32_t to, int group,
                    std::int32_t checked, const ChoiceHandler& handler) {
  QActionGroup* actions = ClearMenu(menu);
  // A 64-bit counter, so that a range ending at the largest int32 still ends.
  for (std::int64_t v = from; v <= to; ++v) {
    AppendItem(menu, actions, std::to_string(v), group, v == checked, handler);
  }
}

std::string StripAmpersands(const std::string& caption) {
  std::string result;
  result.reserve(caption.size());
  for (char c : caption) {
    if (c != '&') result.push_back(c);
  }
  return result;
}

int ItemPosition(const QAction* item) {
  const auto* menu = qobject_cast<const QMenu*>(item->parent());
  if (menu == nullptr) return -1;
  return static_cast<int>(menu->actions().indexOf(const_cast<QAction*>(item)));
}

std::string ItemCaption(const QAction* item) {
  // The bytes the item was made from, so that a name goes back exactly as it came, also
  // one whose bytes are not valid in the encoding; a caption changed since is encoded anew.
  const QByteArray bytes = item->property(kCaptionBytesProperty).toByteArray();
  if (!bytes.isNull() && QString::fromLocal8Bit(bytes) == item->text()) return bytes.toStdString();
  return item->text().toLocal8Bit().toStdString();
}
