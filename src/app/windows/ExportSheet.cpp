#include "app/windows/ExportSheet.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QSaveFile>
#include <algorithm>
#include <charconv>

#include "analysis/PlotDictionary.h"
#include "app/Messages.h"
#include "platform/KeyTable.h"
#include "platform/Log.h"
#include "ui_ExportSheet.h"

namespace orb::app {

namespace {

using analysis::SeriesValue;
using platform::Dictionary;

std::string stringFor(const Dictionary& curve, const char* key) {
  const platform::Value value = curve.get(key);
  return value.isString() ? value.asString() : std::string();
}

/// A quoted field; a quote inside is doubled so the field still ends where it should.
void appendQuoted(std::string& text, const std::string& field) {
  text += '"';
  for (char c : field) {
    if (c == '"') text += '"';
    text += c;
  }
  text += '"';
}

/// "%e" of the C locale whatever the interface's locale: to_chars never reads it.
void appendNumber(std::string& text, const foundation::VKSeries* series, std::size_t i) {
  // A series shorter than the rows (or missing) leaves an empty field rather than being
  // read past its end.
  if (!series || i >= series->count()) return;
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, series->at(i), std::chars_format::scientific, 6);
  text.append(buffer, result.ptr);
}

}  // namespace

// --- save panel and file writing ------------------------------------------------------------

void runSavePanel(QWidget* parent, const SavePanelOptions& options, std::function<void(const std::string&)> chosen) {
  auto* dialog = new QFileDialog(parent, QString::fromStdString(options.title));
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  if (!options.suffix.empty()) {
    const QString suffix = QString::fromStdString(options.suffix);
    dialog->setDefaultSuffix(suffix);
    dialog->setNameFilters({QStringLiteral("Text (*.%1)").arg(suffix), QStringLiteral("All files (*)")});
  }
  if (!options.accessoryText.empty()) {
    // The accessory line needs the dialog's own widgets, not the desktop's dialog.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout()))
      grid->addWidget(new QLabel(QString::fromStdString(options.accessoryText), dialog), grid->rowCount(), 0, 1, -1);
  }
  dialog->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
  QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                   [chosen = std::move(chosen)](const QString& file) { chosen(file.toStdString()); });
  dialog->open();
}

bool writeTextFile(const std::string& path, const std::string& text, std::string* error) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) {
    *error = file.errorString().toStdString();
    return false;
  }
  const QByteArray bytes = QByteArray::fromStdString(text);
  if (file.write(bytes) != bytes.size()) {
    *error = file.errorString().toStdString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    *error = file.errorString().toStdString();
    return false;
  }
  return true;
}

// --- the text --------------------------------------------------------------------------------

std::string delimiterForType(int type) {
  switch (type) {
    case 0:
      return ",";
    case 2:
      return "\t";
    default:
      return " ";
  }
}

namespace {

std::size_t countOf(const foundation::VKSeries* series) { return series ? series->count() : 0; }

/// True when every curve has the first one's abscissae, point for point.
bool shareAbscissae(const std::vector<const foundation::VKSeries*>& xSeries) {
  const foundation::VKSeries* first = xSeries.front();
  for (const auto* x : xSeries) {
    if (countOf(x) != countOf(first)) return false;
    for (std::size_t i = 0; i < countOf(x); ++i)
      if (!(x->at(i) == first->at(i))) return false;
  }
  return true;
}

}  // namespace

std::string curvesExportText(const std::vector<Dictionary>& curves, const std::string& delimiter,
                             bool includeNameRow) {
  std::vector<const foundation::VKSeries*> xSeries, ySeries;
  std::string counts;
  for (const auto& curve : curves) {
    xSeries.push_back(SeriesValue::from(curve.get(analysis::plot::kXSeries)));
    ySeries.push_back(SeriesValue::from(curve.get(analysis::plot::kYSeries)));
    if (!counts.empty()) counts += ", ";
    counts += std::to_string(countOf(xSeries.back()));
  }
  platform::log("counts = %s", counts.c_str());
  // One x column serves all curves only when they share their abscissae; otherwise each
  // curve brings its own, so no y value is set against another curve's x.
  const bool sharedX = curves.empty() || shareAbscissae(xSeries);
  // The rows run to the longest curve: a shorter curve leaves empty fields rather than
  // being read past its end, and a longer one is not cut short.
  std::size_t rows = 0;
  for (std::size_t c = 0; c < curves.size(); ++c)
    rows = std::max(rows, sharedX ? countOf(xSeries[c]) : std::min(countOf(xSeries[c]), countOf(ySeries[c])));

  std::string text;
  if (includeNameRow) {
    for (std::size_t c = 0; c < curves.size(); ++c) {
      if (c == 0 || !sharedX) {
        if (c > 0) text += delimiter;
        appendQuoted(text, stringFor(curves[c], analysis::plot::kXLabel));
      }
      text += delimiter;
      appendQuoted(text, stringFor(curves[c], analysis::plot::kName));
    }
    text += '\n';
  }
  for (std::size_t i = 0; i < rows; ++i) {
    if (sharedX) {
      appendNumber(text, xSeries.front(), i);
      for (const auto* y : ySeries) {
        text += delimiter;
        appendNumber(text, y, i);
      }
    } else {
      for (std::size_t c = 0; c < curves.size(); ++c) {
        if (c > 0) text += delimiter;
        // x and y of a point are written together or not at all.
        const bool point = i < countOf(xSeries[c]) && i < countOf(ySeries[c]);
        if (point) appendNumber(text, xSeries[c], i);
        text += delimiter;
        if (point) appendNumber(text, ySeries[c], i);
      }
    }
    text += '\n';
  }
  return text;
}

// --- the controller ------------------------------------------------------------------------

ExportSheetController::ExportSheetController() = default;

ExportSheetController::~ExportSheetController() {
  platform::log("Sheet dealloc");
  delete m_sheet.data();
}

const platform::KeyTable& ExportSheetController::classKeys() {
  using K = platform::Keys<ExportSheetController>;
  static const platform::KeyTable table(
      &Object::classKeys(),
      {K::property("curves", &ExportSheetController::curves, &ExportSheetController::setCurves),
       K::property("delimiterType", &ExportSheetController::delimiterType, &ExportSheetController::setDelimiterType),
       K::property("includeNameRow", &ExportSheetController::includeNameRow,
                   &ExportSheetController::setIncludeNameRow)});
  return table;
}

void ExportSheetController::setMainWindow(QWidget* window) {
  m_mainWindow = window;
  if (m_sheet && m_sheet->parentWidget() != window) m_sheet->setParent(window, m_sheet->windowFlags());
}

void ExportSheetController::setCurves(platform::Array curves) {
  setAndAnnounce("curves", m_curves, std::move(curves));
  m_selectionIndexes.resize(m_curves.size());
  for (std::size_t i = 0; i < m_curves.size(); ++i) m_selectionIndexes[i] = i;
  reloadCurveList();
}

void ExportSheetController::setDelimiterType(int type) {
  setAndAnnounce("delimiterType", m_delimiterType, type);
  showSettings();
}

void ExportSheetController::setIncludeNameRow(bool include) {
  setAndAnnounce("includeNameRow", m_includeNameRow, include);
  showSettings();
}

void ExportSheetController::setSelectionIndexes(std::vector<std::size_t> indexes) {
  std::erase_if(indexes, [&](std::size_t i) { return i >= m_curves.size(); });
  std::sort(indexes.begin(), indexes.end());
  indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
  m_selectionIndexes = std::move(indexes);
  showSelectionInList();
}

std::string ExportSheetController::exportText() const {
  std::vector<Dictionary> selected;
  for (std::size_t i : m_selectionIndexes) {
    const platform::Value& curve = m_curves[i];
    selected.push_back(curve.isDictionary() ? curve.asDictionary() : Dictionary());
  }
  return curvesExportText(selected, delimiterForType(m_delimiterType), m_includeNameRow);
}

void ExportSheetController::copy() { QApplication::clipboard()->setText(QString::fromStdString(exportText())); }

void ExportSheetController::save() {
  QWidget* parent = m_sheet ? static_cast<QWidget*>(m_sheet.data()) : m_mainWindow.data();
  std::weak_ptr<Object> weak = weak_from_this();
  m_savePathChooser(parent, SavePanelOptions{"Export Data", "txt", {}}, [weak](const std::string& path) {
    if (auto self = std::static_pointer_cast<ExportSheetController>(weak.lock())) self->writeToPath(path);
  });
}

void ExportSheetController::writeToPath(const std::string& path) {
  std::string error;
  if (writeTextFile(path, exportText(), &error)) return;
  QWidget* parent = m_sheet ? static_cast<QWidget*>(m_sheet.data()) : m_mainWindow.data();
  showMessage(parent, "The file \"" + path + "\" could not be saved.", error);
}

// --- the dialog --------------------------------------------------------------------------------

QDialog* ExportSheetController::sheet() {
  if (!m_sheet) loadSheet();
  return m_sheet;
}

void ExportSheetController::loadSheet() {
  m_sheet = new QDialog(m_mainWindow);  // the parent places the sheet and is what it blocks
  m_form = std::make_unique<Ui::ExportSheet>();
  m_form->setupUi(m_sheet);
  m_sheet->setWindowModality(Qt::WindowModal);

  QObject::connect(m_form->curveList, &QListWidget::itemSelectionChanged, m_sheet, [this] {
    if (m_updatingList) return;
    std::vector<std::size_t> rows;
    for (int row = 0; row < m_form->curveList->count(); ++row)
      if (m_form->curveList->item(row)->isSelected()) rows.push_back(static_cast<std::size_t>(row));
    m_selectionIndexes = std::move(rows);
  });
  QObject::connect(m_form->delimiterType, &QComboBox::currentIndexChanged, m_sheet, [this](int index) {
    if (index >= 0 && index != m_delimiterType) setDelimiterType(index);
  });
  QObject::connect(m_form->includeNameRow, &QCheckBox::toggled, m_sheet, [this](bool on) {
    if (on != m_includeNameRow) setIncludeNameRow(on);
  });
  QObject::connect(m_form->copyButton, &QPushButton::clicked, m_sheet, [this] { copy(); });
  QObject::connect(m_form->saveButton, &QPushButton::clicked, m_sheet, [this] { save(); });
  QObject::connect(m_form->closeButton, &QPushButton::clicked, m_sheet, [this] { endSheet(); });

  reloadCurveList();
  showSettings();
}

void ExportSheetController::reloadCurveList() {
  if (!m_sheet) return;
  m_updatingList = true;
  m_form->curveList->clear();
  for (const auto& curve : m_curves)
    m_form->curveList->addItem(
        QString::fromStdString(curve.isDictionary() ? stringFor(curve.asDictionary(), analysis::plot::kName) : ""));
  m_updatingList = false;
  showSelectionInList();
}

void ExportSheetController::showSelectionInList() {
  if (!m_sheet) return;
  m_updatingList = true;
  m_form->curveList->clearSelection();
  for (std::size_t i : m_selectionIndexes) m_form->curveList->item(static_cast<int>(i))->setSelected(true);
  m_updatingList = false;
}

void ExportSheetController::showSettings() {
  if (!m_sheet) return;
  // A delimiter type the menu does not offer shows no item (it exports as a space).
  const int index = m_delimiterType >= 0 && m_delimiterType < m_form->delimiterType->count() ? m_delimiterType : -1;
  QSignalBlocker blockMenu(m_form->delimiterType);
  m_form->delimiterType->setCurrentIndex(index);
  QSignalBlocker blockCheck(m_form->includeNameRow);
  m_form->includeNameRow->setChecked(m_includeNameRow);
}

void ExportSheetController::beginSheet() {
  QDialog* dialog = sheet();
  dialog->open();  // window-modal over the main window, returns at once
}

void ExportSheetController::endSheet() {
  if (m_sheet) m_sheet->close();
}

}  // namespace orb::app
