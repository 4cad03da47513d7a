#include "app/windows/LensCatalogWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "analysis/LayoutCalculator.h"
#include "analysis/OBCalculatorUpdater.h"
#include "app/Messages.h"
#include "app/document/ArrayColorizer.h"
#include "app/document/OBAppDel.h"
#include "app/document/OBDocument.h"
#include "app/tables/DNDArrayController.h"
#include "app/windows/LayoutPlanarModel.h"
#include "interchange/ZemaxReader.h"
#include "lens/Lens.h"
#include "platform/Exception.h"
#include "platform/KeyedArchiver.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "rendering/PlanarView.h"

namespace orb::app {

namespace {

LensCatalogWindow::FileChooser& fileChooser() {
  static LensCatalogWindow::FileChooser chooser;
  return chooser;
}

std::optional<std::string> chooseWithDialog(QWidget* parent, LensCatalogWindow::Kind kind) {
  const bool zemax = kind == LensCatalogWindow::Kind::Zemax;
  const QString path = QFileDialog::getOpenFileName(
      parent, zemax ? QStringLiteral("Open Zemax Lens Catalog") : QStringLiteral("Open OSLO Lens Catalog"), QString(),
      zemax ? QStringLiteral("Zemax lens catalogs (*.txt *.TXT *.zmf *.ZMF);;All files (*)")
            : QStringLiteral("OSLO lens catalogs (*.lst *.LST *.nam *.NAM *.dat *.DAT);;All files (*)"));
  if (path.isEmpty()) return std::nullopt;
  return path.toStdString();
}

QString number(double value) { return QString::number(value, 'g', 6); }

QByteArray archived(const platform::Value& value) {
  const platform::Data data = platform::KeyedArchiver::archivedDataWithRootObject(value);
  return QByteArray(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
}

/// The entry list. An entry leaves by copy only: the catalog is read, never changed.
class EntryList : public QTreeWidget {
 public:
  explicit EntryList(LensCatalogWindow* window) : QTreeWidget(window), m_window(window) {}

 protected:
  QStringList mimeTypes() const override {
    return {kStringPasteboardType, kArchivedZemaxStringType, kSurfacePasteboardType};
  }
  QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override {
    // A lens is one entry; there is no text for several.
    return items.size() == 1 ? m_window->dragDataForRow(indexOfTopLevelItem(items.front())) : nullptr;
  }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
  void startDrag(Qt::DropActions) override { QTreeWidget::startDrag(Qt::CopyAction); }

 private:
  LensCatalogWindow* m_window;
};

}  // namespace

LensCatalogWindow::LensCatalogWindow(Kind kind, QWidget* parent) : QWidget(parent, Qt::Window), m_kind(kind) {
  setAttribute(Qt::WA_DeleteOnClose);
  setObjectName(kind == Kind::Zemax ? QStringLiteral("ZemaxLensCatalogWindow") : QStringLiteral("OsloLensCatalogWindow"));
  m_list = new EntryList(this);
  m_list->setObjectName(QStringLiteral("entryList"));
  m_list->setDragEnabled(true);
  m_list->setDragDropMode(QAbstractItemView::DragOnly);
  m_list->setDefaultDropAction(Qt::CopyAction);
  m_search = new QLineEdit(this);
  m_search->setObjectName(QStringLiteral("searchField"));
  m_search->setPlaceholderText(QStringLiteral("Search"));
  m_search->setClearButtonEnabled(true);
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  m_list->setSelectionMode(QAbstractItemView::SingleSelection);
  if (kind == Kind::Zemax)
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Identifier"), QStringLiteral("Focal Length"),
                             QStringLiteral("Diameter")});
  else
    m_list->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Focal Length"), QStringLiteral("Diameter"),
                             QStringLiteral("Thickness")});
  m_preview = new QLabel(this);
  m_preview->setObjectName(QStringLiteral("preview"));
  m_preview->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_preview->setWordWrap(true);
  m_text = new QPlainTextEdit(this);
  m_text->setObjectName(QStringLiteral("entryText"));
  m_text->setReadOnly(true);
  m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_open = new QPushButton(QStringLiteral("Open"), this);
  m_open->setObjectName(QStringLiteral("openEntry"));
  m_open->setEnabled(false);
  m_open->setDefault(true);

  if (kind == Kind::Zemax) {
    // The entry as a lens: a layout that can only be looked at (and dragged out as a
    // picture), drawn by a layout calculator of its own.
    m_layout = new rendering::FrozenPlanarView(this);
    m_layout->setObjectName(QStringLiteral("layoutPreview"));
    m_layout->setMinimumSize(260, 180);
    m_calculator = platform::makeObject<analysis::LayoutCalculator>();
    m_updater = analysis::OBCalculatorUpdater::make(m_calculator);
    m_model = std::make_shared<LayoutPlanarModel>(m_calculator);
    m_layout->setModel(m_model);  // black surfaces over the glass colours
    m_modelChanged = platform::NotificationCenter::defaultCenter().addObserver(
        "modelChangedNotification", platform::Value(m_calculator->reference()), [this](const platform::Notification&) {
          m_layout->modelChanged();
          if (!m_fitPending || !m_model->extents()) return;
          m_fitPending = false;
          m_layout->waitForZoomToFit();  // a jump, not an animation
          m_layout->zoomToFit();
        });
  }

  auto* right = new QWidget(this);
  auto* rightLayout = new QVBoxLayout(right);
  rightLayout->setContentsMargins(0, 0, 0, 0);
  rightLayout->addWidget(m_preview);
  if (m_layout) rightLayout->addWidget(m_layout, 2);
  rightLayout->addWidget(m_text, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(m_open);
  rightLayout->addLayout(buttons);
  auto* left = new QWidget(this);
  auto* leftLayout = new QVBoxLayout(left);
  leftLayout->setContentsMargins(0, 0, 0, 0);
  leftLayout->addWidget(m_search);
  leftLayout->addWidget(m_list, 1);
  auto* splitter = new QSplitter(this);
  splitter->addWidget(left);
  splitter->addWidget(right);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(splitter);
  resize(820, 460);

  connect(m_list, &QTreeWidget::itemSelectionChanged, this, [this] { showSelection(); });
  connect(m_search, &QLineEdit::textChanged, this, [this](const QString& text) { search(text); });
  connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { openSelectedEntry(); });
  connect(m_open, &QPushButton::clicked, this, [this] { openSelectedEntry(); });
}

LensCatalogWindow::~LensCatalogWindow() {
  m_modelChanged.remove();
  if (m_layout) m_layout->setModel(nullptr);
  m_updater.reset();
  if (m_calculator) m_calculator->stopWork();  // nothing of the preview runs after the window
}

void LensCatalogWindow::setPreviewLens(std::shared_ptr<lens::Lens> lens) {
  if (!m_calculator || lens == m_previewLens) return;
  m_previewLens = std::move(lens);
  if (m_previewLens) {
    m_previewLens->setIsReady(true);
    m_calculator->firstTimeWithLens(m_previewLens);
  }
  m_fitPending = m_previewLens != nullptr;
  m_calculator->setLens(m_previewLens);
  m_layout->modelChanged();
}

void LensCatalogWindow::setFileChooser(FileChooser chooser) { fileChooser() = std::move(chooser); }

LensCatalogWindow* LensCatalogWindow::browse(Kind kind, QWidget* parent) {
  auto choose = fileChooser() ? fileChooser() : chooseWithDialog;
  const auto path = choose(parent, kind);
  if (!path) return nullptr;
  // Top level: the browser outlives the window it was asked from.
  auto* window = new LensCatalogWindow(kind);
  if (!window->loadFile(*path)) {
    delete window;
    showMessage(parent, "The lens catalog could not be opened.", *path);
    return nullptr;
  }
  window->show();
  window->raise();
  window->activateWindow();
  return window;
}

bool LensCatalogWindow::loadFile(const std::string& path) {
  m_list->clear();
  m_zemax.clear();
  m_oslo = {};
  if (m_kind == Kind::Zemax) {
    auto entries = interchange::indexZemaxLensCatalog(path);
    if (!entries) return false;
    m_zemax = std::move(*entries);
    for (const auto& e : m_zemax)
      m_list->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(e.name), QString::fromStdString(e.identifier),
                                                   number(e.effectiveFocalLength), number(e.diameter)}));
  } else {
    // The user may pick any of the three files; the entry list is the ".lst" beside it.
    QFileInfo info(QString::fromStdString(path));
    std::string list = path;
    if (info.suffix().compare(QStringLiteral("lst"), Qt::CaseInsensitive) != 0) {
      const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
      for (const QString& suffix : {QStringLiteral(".lst"), QStringLiteral(".LST")})
        if (QFileInfo::exists(base + suffix)) list = (base + suffix).toStdString();
    }
    if (!m_oslo.readFromFile(list)) return false;
    for (const auto& e : m_oslo.entryArray())
      m_list->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(e.shortName), number(e.effectiveFocalLength),
                                                   number(e.diameter), number(e.centerThickness)}));
  }
  m_list->header()->resizeSections(QHeaderView::ResizeToContents);
  search(m_searchString);
  setWindowTitle(QFileInfo(QString::fromStdString(path)).fileName());
  setWindowFilePath(QString::fromStdString(path));
  if (m_list->topLevelItemCount() > 0) m_list->setCurrentItem(m_list->topLevelItem(0));
  showSelection();
  return true;
}

int LensCatalogWindow::entryCount() const { return m_list->topLevelItemCount(); }

void LensCatalogWindow::search(const QString& text) {
  m_searchString = text;
  if (m_search->text() != text) {
    QSignalBlocker block(m_search);
    m_search->setText(text);
  }
  for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    const bool shown = text.isEmpty() || item->text(0).contains(text, Qt::CaseInsensitive);
    item->setHidden(!shown);
    if (!shown && item->isSelected()) item->setSelected(false);
  }
  showSelection();
}

QMimeData* LensCatalogWindow::dragDataForRow(int row) const {
  if (row < 0 || row >= entryCount()) return nullptr;
  const std::string text = selectedEntryText(row);
  if (text.empty()) return nullptr;
  auto* data = new QMimeData;
  data->setText(QString::fromStdString(text));
  try {
    std::optional<platform::Dictionary> dictionary;
    if (m_kind == Kind::Zemax) {
      data->setData(kArchivedZemaxStringType, archived(platform::Value(text)));
      auto options = interchange::ZemaxReadOptions::fromUserDefaults();
      options.source = "lens catalog entry";
      dictionary = interchange::readZemaxString(text, options);
    } else {
      dictionary = m_oslo.lensDictionaryForCatalogEntry(m_oslo.entryArray()[row]);
    }
    if (dictionary && dictionary->get("surfaceArray").isArray())
      data->setData(kSurfacePasteboardType, archived(dictionary->get("surfaceArray")));
  } catch (const std::exception& e) {
    // An entry that holds no lens still leaves as text.
    platform::log("catalog entry without surfaces: %s", e.what());
  }
  return data;
}

std::string LensCatalogWindow::selectedEntryText(int row) const {
  if (row < 0) return {};
  if (m_kind == Kind::Zemax)
    return row < static_cast<int>(m_zemax.size()) ? m_zemax[row].catalogEntry().value_or("") : std::string();
  const auto& entries = m_oslo.entryArray();
  return row < static_cast<int>(entries.size()) ? m_oslo.lensSpecificationForCatalogEntry(entries[row]) : std::string();
}

void LensCatalogWindow::showSelection() {
  QTreeWidgetItem* item = m_list->currentItem();
  const int row = item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
  m_open->setEnabled(row >= 0);
  if (row < 0) {
    m_preview->clear();
    m_text->clear();
    setPreviewLens(nullptr);
    return;
  }
  QStringList lines;
  if (m_kind == Kind::Zemax) {
    const auto& entry = m_zemax[row];
    lines << QStringLiteral("<b>%1</b> %2").arg(QString::fromStdString(entry.name).toHtmlEscaped(),
                                                QString::fromStdString(entry.identifier).toHtmlEscaped());
    // A broken entry previews as nothing; the list still shows it.
    std::shared_ptr<lens::Lens> lens;
    try {
      lens = interchange::previewLensForZemaxCatalogEntry(entry);
      if (lens) {
        // The glasses tell the elements apart.
        applyColorAction(*lens, "rainbowGlassColors");
        lens->generateSystemFromParaxialSpecification();
      }
    } catch (const platform::Exception&) {
      lens.reset();
    }
    if (!lens) lines << QStringLiteral("No preview");
    setPreviewLens(lens);
  } else {
    const auto& entry = m_oslo.entryArray()[row];
    lines << QStringLiteral("<b>%1</b> %2").arg(QString::fromStdString(entry.shortName).toHtmlEscaped(),
                                                QString::fromStdString(m_oslo.elaborateOn(entry.shortName)).toHtmlEscaped());
    std::optional<platform::Dictionary> dictionary;
    try {
      dictionary = m_oslo.lensDictionaryForCatalogEntry(entry);
    } catch (const platform::Exception&) {
    }
    if (dictionary && dictionary->get("surfaceArray").isArray())
      lines << QStringLiteral("Surfaces: %1").arg(dictionary->get("surfaceArray").asArray().size());
    lines << QStringLiteral("Focal length: %1").arg(number(entry.effectiveFocalLength))
          << QStringLiteral("Diameter: %1, centre thickness: %2").arg(number(entry.diameter), number(entry.centerThickness))
          << QString::fromStdString(entry.description()).toHtmlEscaped();
  }
  m_preview->setText(lines.join(QStringLiteral("<br>")));
  m_text->setPlainText(QString::fromStdString(selectedEntryText(row)));
}

std::shared_ptr<SmartDocument> LensCatalogWindow::openSelectedEntry() {
  QTreeWidgetItem* item = m_list->currentItem();
  const int row = item && item->isSelected() ? m_list->indexOfTopLevelItem(item) : -1;
  if (row < 0) return nullptr;
  const char* type = m_kind == Kind::Zemax ? OBDocument::kZemaxType : OBDocument::kOsloType;
  return OBAppDel::shared().openCatalogEntry(selectedEntryText(row), type, this);
}

}  // namespace orb::app
