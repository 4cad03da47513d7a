#include "app/windows/ToolbarSupport.h"

#include <QAction>
#include <QIcon>
#include <QMenu>
#include <QSizePolicy>
#include <QToolBar>
#include <QWidget>
#include <QWidgetAction>
#include <algorithm>
#include <utility>

#include "platform/Resources.h"

namespace orb::app::toolbar {

const ItemDescription* findItemDescription(std::span<const ItemDescription> descriptions, const std::string& identifier) {
  const auto described =
      std::find_if(descriptions.begin(), descriptions.end(), [&](const ItemDescription& s) { return identifier == s.identifier; });
  return described == descriptions.end() ? nullptr : &*described;
}

QAction* makeItemAction(const ItemDescription& described, QObject* parent) {
  auto* item = new QAction(QString::fromUtf8(described.label), parent);
  item->setObjectName(QString::fromUtf8(described.identifier));
  item->setToolTip(QString::fromUtf8(described.toolTip));
  if (auto path = platform::resources::pathFor(described.image, "png")) item->setIcon(QIcon(QString::fromStdString(*path)));
  return item;
}

QToolBar* makeToolbar(QWidget* parent, const QString& name, QObject* context,
                      std::function<void(QMenu&)> populateMenu) {
  auto* toolbar = new QToolBar(parent);
  toolbar->setObjectName(name);
  toolbar->setMovable(false);
  toolbar->setIconSize(QSize(16, 16));
  toolbar->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(toolbar, &QToolBar::customContextMenuRequested, context,
                   [toolbar, populateMenu = std::move(populateMenu)](const QPoint& position) {
                     QMenu menu(toolbar);
                     populateMenu(menu);
                     menu.exec(toolbar->mapToGlobal(position));
                   });
  return toolbar;
}

std::vector<std::string> usableItemIdentifiers(const std::vector<std::string>& identifiers,
                                               const std::vector<std::string>& allowed,
                                               const std::function<bool(const std::string&)>& isKnown) {
  std::vector<std::string> usable;
  for (const auto& identifier : identifiers) {
    const bool isSpace = identifier == kFlexibleSpace;
    if (!isSpace && isKnown && !isKnown(identifier)) continue;
    if (std::find(allowed.begin(), allowed.end(), identifier) == allowed.end()) continue;
    if (!isSpace && std::find(usable.begin(), usable.end(), identifier) != usable.end()) continue;
    usable.push_back(identifier);
  }
  return usable;
}

std::optional<std::vector<std::string>> storedItemIdentifiers(const platform::Dictionary& configuration) {
  const auto* items = configuration.find(kItemIdentifiersKey);
  if (!items || !items->isArray()) return std::nullopt;
  std::vector<std::string> identifiers;
  for (const auto& item : items->asArray())
    if (item.isString()) identifiers.push_back(item.asString());
  return identifiers;
}

platform::Array itemIdentifierArray(const std::vector<std::string>& identifiers) {
  platform::Array items;
  for (const auto& identifier : identifiers) items.emplace_back(identifier);
  return items;
}

void fillToolbar(QToolBar* toolbar, const std::vector<std::string>& identifiers, std::vector<QAction*>& spacers,
                 const std::function<QAction*(const std::string&)>& itemFor) {
  toolbar->clear();
  for (QAction* spacer : spacers) delete spacer;  // and its widget
  spacers.clear();
  for (const auto& identifier : identifiers) {
    if (identifier == kFlexibleSpace) {
      auto* spacer = new QWidget();
      spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
      auto* action = new QWidgetAction(toolbar);
      action->setDefaultWidget(spacer);
      toolbar->addAction(action);
      spacers.push_back(action);
    } else if (QAction* item = itemFor(identifier)) {
      toolbar->addAction(item);
    }
  }
}

}  // namespace orb::app::toolbar
