#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/linear/VKSeries.h"
#include "foundation/objects/VKColoredObject.h"
#include "platform/Value.h"

namespace orb::materials {

class Glass;
class GlassCatalog;

/// The object that swaps one glass for another everywhere it is used (the lens).
class GlassReplacer {
 public:
  virtual ~GlassReplacer() = default;
  /// Replaces `oldGlass` by `newGlass` (null: removes it); false when nothing used it.
  virtual bool replaceGlass(const std::shared_ptr<Glass>& oldGlass, const std::shared_ptr<Glass>& newGlass) = 0;
};

/// Fraunhofer lines of the reference data, in µm, and the squares the model fit uses.
namespace spectral {
constexpr double kLambdaD = 0.58756;
constexpr double kLambdaF = 0.48613;
constexpr double kLambdaC = 0.65627;
constexpr double kLambdaD2 = 0.3452267536;
constexpr double kLambdaF2 = 0.2363223769;
constexpr double kLambdaC2 = 0.4306903129;
}  // namespace spectral

/// An optical material that answers its index of refraction at any wavelength in µm.
///
/// An object of exactly this class is a model glass: its dispersion follows from nd and
/// Vd alone, through a two-term Sellmeier law n² = 1 + A·λ²/(λ² − B) fitted once to nd
/// and nF − nC = (nd − 1)/Vd and then cached. Catalog, fitted and tabulated glasses are
/// subclasses that override the law (indexAtWavelengthInMicrons) and the coefficient
/// interface, and keep the naming, reference data, copying and archiving here.
///
/// Index requests may come from tracing threads while the main thread edits: the lazy
/// model fit is guarded so that readers always see a consistent (A, B) pair.
class Glass : public foundation::VKColoredObject {
 public:
  /// What indexInContainer answers for a glass outside any container.
  static constexpr std::size_t kNotFound = std::numeric_limits<std::size_t>::max();

  Glass();
  ~Glass() override;

  // --- Factories ------------------------------------------------------------------------
  static std::shared_ptr<Glass> glass();
  static std::shared_ptr<Glass> glassWithName(std::string name);
  /// A placeholder for a name that nothing resolves.
  static std::shared_ptr<Glass> dummyGlassWithName(std::string name);
  /// A placeholder that refracts as the model glass of `nd` and `vd`: what a lens file
  /// said of a glass no catalog holds.
  static std::shared_ptr<Glass> dummyGlassWithName(std::string name, double nd, double vd);
  /// A model glass named "%g" of nd.
  static std::shared_ptr<Glass> glassWithIndex(double nd);
  /// A model glass named "%g,%g" of nd and Vd.
  static std::shared_ptr<Glass> glassWithIndex(double nd, double vd);
  static std::shared_ptr<Glass> mutableGlass();
  /// A user-editable copy of `source`, of the source's own class: no variables, no
  /// version, and named "m-<name>" unless the source is mutable or already so named.
  static std::shared_ptr<Glass> mutableGlassWithGlass(const Glass& source);
  /// A glass of class T (Glass or a subclass) taking the state of `source`.
  template <class T>
  static std::shared_ptr<T> glassWithGlass(const Glass& source) {
    auto g = platform::makeObject<T>();
    g->initWithGlass(source);
    return g;
  }
  /// A glass of class T with every key of the glass dictionary `d` set (initWithDictionary).
  template <class T>
  static std::shared_ptr<T> glassWithDictionary(const platform::Dictionary& d) {
    auto g = platform::makeObject<T>();
    g->initWithDictionary(d);
    return g;
  }

  /// A fresh glass of this object's own class (as after init).
  virtual std::shared_ptr<Glass> makeEmpty() const;
  /// Takes over the state of `other` into this freshly made glass; subclasses add the
  /// fields they share with `other`'s class.
  virtual void initWithGlass(const Glass& other);
  /// Sets every key of a glass dictionary. "formulaName" is applied before
  /// "coefficientDictionary", "colorForFigures" becomes the colour; other keys that name
  /// no property are logged and passed over.
  void initWithDictionary(const platform::Dictionary& dictionary);
  /// A copy of the same class, made under a lock on this glass; keeps the colour number
  /// and the remembered container index.
  std::shared_ptr<Glass> copy() const;

  // --- Plain accessors ------------------------------------------------------------------
  const std::string& name() const { return m_name; }
  void setName(std::string name);
  const std::optional<std::string>& version() const { return m_version; }
  void setVersion(std::optional<std::string> version);
  const std::optional<std::string>& glassCode() const { return m_glassCode; }
  void setGlassCode(std::optional<std::string> code);
  /// Records {"wavelength", "transmission", "thickness"}; nil when none were given.
  const platform::Value& transmissionArray() const { return m_transmissionArray; }
  void setTransmissionArray(platform::Value array);
  /// Appends one transmission record, making the array when there is none.
  void addTransmission(double wavelengthMicrons, double transmission, double thickness);
  int usageCount() const { return m_usageCount; }
  void setUsageCount(int count);

  double referenceIndex() const { return m_referenceIndex; }
  double referenceAbbe() const { return m_referenceAbbe; }
  double referencePartialDispersion() const { return m_referencePartialDispersion; }
  /// Each drops the model fit and renames a dynamically named glass.
  void setReferenceIndex(double nd);
  void setReferenceAbbe(double vd);
  void setReferencePartialDispersion(double p);
  bool referenceIndexIsVariable() const { return m_referenceIndexIsVariable; }
  bool referenceAbbeIsVariable() const { return m_referenceAbbeIsVariable; }
  void setReferenceIndexIsVariable(bool v);
  void setReferenceAbbeIsVariable(bool v);

  bool isDummy() const { return m_isDummy; }
  void setIsDummy(bool dummy);
  /// A dummy with an index of its own (nd > 1, from its file), not the vacuum of a bare one.
  bool isDummyWithIndex() const;
  bool isMutable() const { return m_isMutable; }
  /// Turning mutability off clears the variable flags.
  virtual void setIsMutable(bool isMutable);
  int formula() const { return m_formula; }
  void setFormula(int formula);

  std::shared_ptr<GlassReplacer> delegate() const { return m_delegate.lock(); }
  void setDelegate(std::weak_ptr<GlassReplacer> delegate) { m_delegate = std::move(delegate); }
  /// The catalog or glass list that holds this glass (not owned).
  std::shared_ptr<GlassCatalog> container() const { return m_container.lock(); }
  void setContainer(std::weak_ptr<GlassCatalog> container);
  std::size_t rememberedIndexInContainer() const { return m_rememberedIndexInContainer; }
  void setRememberedIndexInContainer(std::size_t index) { m_rememberedIndexInContainer = index; }

  bool dynamicName() const { return m_dynamicName; }
  const std::optional<std::string>& dynamicNameType() const { return m_dynamicNameType; }
  /// On: renames at once from the reference data; off: renames to "G<name>".
  void setDynamicName(bool dynamic);
  void setDynamicNameType(std::optional<std::string> type);
  static const std::vector<std::string>& dynamicNameTypes();
  void updateNameIfDynamic();

  /// The model fit's coefficients (A = 0: not fitted yet, A = −1: no dispersion).
  double sellmeierA() const { return m_sellmeierA.load(std::memory_order_acquire); }
  double sellmeierB() const { return m_sellmeierB.load(std::memory_order_relaxed); }

  // --- Queries --------------------------------------------------------------------------
  /// Position by identity in the container; kNotFound without one.
  std::size_t indexInContainer() const;
  void rememberIndexInContainer() { m_rememberedIndexInContainer = indexInContainer(); }
  /// Not dummy and of exactly this class.
  virtual bool isModel() const;
  bool isEditable() const { return isModel() || isMutable(); }
  virtual bool isGlassFromCatalog() const { return false; }
  virtual std::optional<std::string> catalogName() const { return std::nullopt; }
  bool glassIsGood() const { return !m_isDummy && m_referenceIndex != 0; }
  virtual bool hasVariables() const;
  virtual platform::Array keyPathsForVariables() const;
  virtual void removeVariables();
  std::string referenceIndexVariabilityTitle() const;
  std::string referenceAbbeVariabilityTitle() const;
  /// The colour set on the glass, else light grey for vacuum/air (nd exactly 1), brown
  /// for anything else.
  std::shared_ptr<platform::Color> displayColor() const;
  virtual std::string glassDescription() const;
  std::string twoLiner() const;
  std::string description() const override;
  /// Equal names and equal versions; glasses without a version equal only themselves.
  bool isEqualTo(const platform::Object& other) const override;
  std::size_t hash() const override;
  /// Strips white space and line ends from a proposed name; always accepts.
  static bool validateName(std::string& name);

  // --- Dispersion -----------------------------------------------------------------------
  virtual bool validWavelengthInMicrons(double lambda) const;
  /// Index of refraction at `lambda` µm. A law that gives no number answers +infinity.
  virtual double indexAtWavelengthInMicrons(double lambda) const;
  foundation::VKSeries indexAtWavelengthInMicronsSeries(const foundation::VKSeries& lambdas) const;
  foundation::VKSeries indexAtWavelengthInNanometersSeries(const foundation::VKSeries& lambdas) const;
  void updateReferenceIndexUsingGlass(const Glass& other);
  void updateReferenceAbbeUsingGlass(const Glass& other);
  void updateReferencePartialDispersionUsingGlass(const Glass& other);
  void updateReferenceDataUsingGlass(const Glass& other);
  void setGlassCodeFromReferenceIndexAndAbbe();

  // --- Formulas and coefficients --------------------------------------------------------
  virtual const std::vector<int>& formulaNumbers() const;
  virtual const std::vector<std::string>& formulaNames() const;
  /// "unknown" for a number outside the menu.
  std::string formulaName() const;
  /// False when the formula number names no law this class evaluates, so that the index
  /// comes from a stand-in (the model law of nd and Vd) instead of the glass's own data.
  virtual bool hasKnownFormula() const;
  /// Names outside the menu leave the formula as it is.
  void setFormulaName(const std::string& name);
  virtual const std::vector<std::string>& coefficientNames() const;
  virtual platform::Dictionary coefficientDictionary() const;
  /// Rows {"coefficientName", "coefficientValue", "coefficientIsVariable"}.
  virtual platform::Array invertedCoefficientDictionary() const;
  virtual void setCoefficientValue(double value, std::string_view name);
  virtual void setCoefficientIsVariable(bool variable, std::string_view name);
  virtual bool coefficientIsVariableForName(std::string_view name) const;
  /// Announces a change of "coefficientDictionary".
  virtual void coefficientsChanged();
  virtual void setCoefficientValuesFromDictionary(const platform::Dictionary&) {}
  virtual void zeroCoefficients() {}
  virtual void makeAllCoefficientsVariable() {}
  virtual bool referenceDataIsDynamic() const { return false; }
  virtual void setReferenceDataIsDynamic(bool) {}
  /// Starting coefficients that reproduce index n at lambda µm (roughly; exactly for the
  /// model glass and the Sellmeier forms).
  virtual void guessForWavelengthInMicrons(double lambda, double n);

  // --- Identity and replacement ---------------------------------------------------------
  /// Asks the delegate to put `glass` everywhere this glass is used.
  void setGlass(const std::shared_ptr<Glass>& glass);

  // --- The glass dictionary and the archive ---------------------------------------------
  platform::Dictionary dictionary() const;
  void encodeWithCoder(platform::Coder& coder) const override;
  void initWithCoder(const platform::Coder& coder) override;

  const platform::KeyTable& keys() const override { return classKeys(); }
  static const platform::KeyTable& classKeys();

 protected:
  /// Drops the cached model fit (the next index request refits).
  void invalidateModelFit() { m_sellmeierA.store(0.0, std::memory_order_release); }
  /// The model law of this class, usable by subclasses that fall back to it.
  double modelIndexAtWavelengthInMicrons(double lambda) const;
  /// Refuses non-keyed coders with the glasses' own message.
  static void requireKeyedCoder(const platform::Coder& coder);
  /// Sets the flag alone (subclasses decide which variables a non-mutable glass drops).
  void storeIsMutable(bool isMutable) { setAndAnnounce("isMutable", m_isMutable, isMutable); }

 private:
  void generateSellmeierCoefficients() const;
  std::string dynamicNameFromReferenceData() const;

  std::weak_ptr<GlassReplacer> m_delegate;
  std::string m_name;
  std::optional<std::string> m_version;
  bool m_dynamicName = false;
  std::optional<std::string> m_dynamicNameType;
  std::optional<std::string> m_glassCode;
  double m_referenceIndex = 1.0;
  double m_referenceAbbe = 0.0;
  double m_referencePartialDispersion = 0.0;
  bool m_referenceIndexIsVariable = false;
  bool m_referenceAbbeIsVariable = false;
  platform::Value m_transmissionArray;
  int m_formula = 0;
  bool m_isDummy = false;
  bool m_isMutable = false;
  int m_usageCount = 0;
  // The model fit: A is published last (release), so a reader that sees A ≠ 0 sees its B.
  mutable std::atomic<double> m_sellmeierA{0.0};
  mutable std::atomic<double> m_sellmeierB{0.0};
  mutable std::mutex m_fitMutex;
  std::weak_ptr<GlassCatalog> m_container;
  std::size_t m_rememberedIndexInContainer = kNotFound;
  mutable std::recursive_mutex m_copyMutex;
};

}  // namespace orb::materials
