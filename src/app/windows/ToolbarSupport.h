#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/Value.h"

class QAction;
class QIcon;
class QMenu;
class QObject;
class QToolBar;
class QWidget;

/// What the customisable window toolbars share: their items, their saved configuration and their contents.
namespace orb::app::toolbar {

inline constexpr const char* kFlexibleSpace = "NSToolbarFlexibleSpaceItem";
/// Keys of a toolbar's configuration dictionary in the user defaults.
inline constexpr const char* kItemIdentifiersKey = "TB Item Identifiers";
inline constexpr const char* kIsShownKey = "TB Is Shown";

struct ItemDescription {
  const char* identifier;
  const char* image;
  const char* label;
  const char* toolTip;
  const char* action = nullptr;  // the document's, for toolbars that forward to it
};

/// The description of the item `identifier`, or null.
const ItemDescription* findItemDescription(std::span<const ItemDescription> descriptions, const std::string& identifier);
/// An item as its description shows it (label, tool tip, icon), named by its identifier; not yet connected.
QAction* makeItemAction(const ItemDescription& described, QObject* parent);

/// The line icon drawn for the item image `image` ("zoomToFit", "tb-surfaces", …), sharp at any size and
/// greyed when disabled; a null icon for a name without a drawing.
QIcon itemIcon(const std::string& image);
/// The item images that have a drawing.
const std::vector<std::string>& drawnItemImages();

/// A fixed toolbar at the platform's toolbar icon size whose context menu `populateMenu` fills; the menu
/// lives while `context` does.
QToolBar* makeToolbar(QWidget* parent, const QString& name, QObject* context, std::function<void(QMenu&)> populateMenu);

/// The identifiers that can be shown, in order: allowed ones (known ones too, when `isKnown` is given), each item
/// once; flexible spaces may repeat.
std::vector<std::string> usableItemIdentifiers(const std::vector<std::string>& identifiers,
                                               const std::vector<std::string>& allowed,
                                               const std::function<bool(const std::string&)>& isKnown = {});
/// The strings of a stored configuration's item list; nothing when it has no list.
std::optional<std::vector<std::string>> storedItemIdentifiers(const platform::Dictionary& configuration);
platform::Array itemIdentifierArray(const std::vector<std::string>& identifiers);

/// Refills `toolbar` with the items in order, a stretching spacer for each flexible space. `spacers` owns the spacers;
/// the previous ones are deleted.
void fillToolbar(QToolBar* toolbar, const std::vector<std::string>& identifiers, std::vector<QAction*>& spacers,
                 const std::function<QAction*(const std::string&)>& itemFor);

}  // namespace orb::app::toolbar
