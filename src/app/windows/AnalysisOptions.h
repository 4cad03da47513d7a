#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/QtRunLoopDriver.h"
#include "platform/Exception.h"
#include "platform/Log.h"
#include "platform/Object.h"
#include "platform/Observation.h"

namespace orb::app::options {

/// One entry of a choice: what the user reads and the string stored under the key.
struct Choice {
  std::string label;
  std::string value;
};

/// Keeps an options panel's widgets and an analysis's keys in step both ways: each widget
/// shows the calculator's present value (restored settings and changes made elsewhere
/// included) and writes the user's edits back through key-value coding. Observations end
/// with the panel.
template <class Calculator = platform::Object>
class Binder {
 public:
  Binder(const std::shared_ptr<Calculator>& calculator, QWidget* panel)
      : m_calculator(calculator), m_panel(panel), m_observations(new Observations(panel)) {}

  std::shared_ptr<Calculator> calculator() const { return m_calculator.lock(); }

  platform::Value get(const std::string& key) const {
    auto c = calculator();
    return c ? c->valueForKey(key) : platform::Value();
  }
  void set(const std::string& key, const platform::Value& value) const {
    auto c = calculator();
    if (!c) return;
    try {
      c->setValueForKey(key, value);
    } catch (const platform::Exception& e) {
      platform::logText("analysis options: " + key + ": " + e.what());
    }
  }
  std::string text(const std::string& key) const {
    const platform::Value v = get(key);
    return v.isString() ? v.asString() : std::string();
  }

  /// Runs `refresh` now and whenever one of `keys` changes (on the panel's thread).
  void observe(const std::vector<std::string>& keys, const std::function<void()>& refresh) const {
    refresh();
    auto c = calculator();
    if (!c) return;
    QPointer<QWidget> panel = m_panel;
    for (const auto& key : keys)
      m_observations->list.push_back(
          c->addObserver(key, [panel, refresh](const platform::ObservedChange&) { onMainThread(panel, refresh); }));
  }

  QCheckBox* checkBox(const char* label, const std::string& key) const {
    auto* box = new QCheckBox(QString::fromUtf8(label));
    box->setObjectName(QString::fromStdString(key));
    Binder self = *this;
    observe({key}, [box, self, key] {
      const platform::Value v = self.get(key);
      QSignalBlocker block(box);
      box->setChecked(v.isNumber() && v.asBool());
    });
    QObject::connect(box, &QCheckBox::toggled, box, [self, key](bool on) { self.set(key, on); });
    return box;
  }

  QSpinBox* intSpin(const std::string& key, int low, int high) const {
    auto* spin = new QSpinBox;
    spin->setObjectName(QString::fromStdString(key));
    spin->setRange(low, high);
    spin->setKeyboardTracking(false);  // one recalculation per finished edit
    Binder self = *this;
    observe({key}, [spin, self, key] {
      const platform::Value v = self.get(key);
      QSignalBlocker block(spin);
      if (v.isNumber()) spin->setValue(static_cast<int>(v.asInt()));
    });
    QObject::connect(spin, &QSpinBox::valueChanged, spin, [self, key](int n) { self.set(key, n); });
    return spin;
  }

  QDoubleSpinBox* doubleSpin(const std::string& key, double low, double high, int decimals) const {
    auto* spin = new QDoubleSpinBox;
    spin->setObjectName(QString::fromStdString(key));
    spin->setRange(low, high);
    spin->setDecimals(decimals);
    spin->setKeyboardTracking(false);
    Binder self = *this;
    observe({key}, [spin, self, key] {
      const platform::Value v = self.get(key);
      QSignalBlocker block(spin);
      if (v.isNumber()) spin->setValue(v.asDouble());
    });
    QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, [self, key](double x) { self.set(key, x); });
    return spin;
  }

  /// An integer key chosen by position in `labels`.
  QComboBox* indexChoice(const std::string& key, const std::vector<std::string>& labels) const {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromStdString(key));
    for (const auto& l : labels) box->addItem(QString::fromStdString(l));
    Binder self = *this;
    observe({key}, [box, self, key] {
      const platform::Value v = self.get(key);
      QSignalBlocker block(box);
      box->setCurrentIndex(v.isNumber() ? static_cast<int>(v.asInt()) : -1);
    });
    QObject::connect(box, &QComboBox::activated, box, [self, key](int index) {
      if (index >= 0) self.set(key, index);
    });
    return box;
  }

  /// A string key chosen from a list; the list is made again when one of `listKeys`
  /// changes. `store` replaces the plain set where choosing has more to it.
  QComboBox* choice(const std::string& key, std::function<std::vector<Choice>()> choices,
                    const std::vector<std::string>& listKeys = {},
                    std::function<void(const std::string&)> store = {}) const {
    auto* box = new QComboBox;
    box->setObjectName(QString::fromStdString(key));
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    Binder self = *this;
    std::vector<std::string> keys = listKeys;
    keys.push_back(key);
    observe(keys, [box, self, key, choices] {
      QSignalBlocker block(box);
      box->clear();
      for (const Choice& c : choices()) box->addItem(QString::fromStdString(c.label), QString::fromStdString(c.value));
      box->setCurrentIndex(box->findData(QString::fromStdString(self.text(key))));
    });
    if (!store)
      store = [self, key](const std::string& value) {
        self.set(key, value.empty() ? platform::Value() : platform::Value(value));
      };
    QObject::connect(box, &QComboBox::activated, box, [box, store](int index) {
      if (index >= 0) store(box->itemData(index).toString().toStdString());
    });
    return box;
  }

  QLabel* label(const std::string& key, const std::vector<std::string>& dependsOn) const {
    auto* text = new QLabel;
    text->setObjectName(QString::fromStdString(key));
    Binder self = *this;
    observe(dependsOn, [text, self, key] { text->setText(QString::fromStdString(self.text(key))); });
    return text;
  }

  /// Enables `widget` while the boolean `key` holds.
  void enableWhile(QWidget* widget, const std::string& key, const std::vector<std::string>& dependsOn) const {
    Binder self = *this;
    observe(dependsOn, [widget, self, key] {
      const platform::Value v = self.get(key);
      widget->setEnabled(v.isNumber() && v.asBool());
    });
  }

 private:
  class Observations : public QObject {
   public:
    using QObject::QObject;
    std::vector<platform::Observation> list;
  };
  std::weak_ptr<Calculator> m_calculator;
  QPointer<QWidget> m_panel;
  Observations* m_observations;  // a child of the panel
};

inline QGroupBox* group(const char* title, QFormLayout*& form) {
  auto* box = new QGroupBox(QString::fromUtf8(title));
  form = new QFormLayout(box);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  return box;
}

}  // namespace orb::app::options
