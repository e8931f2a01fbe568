// The subject/observer pair that links the manifest reader and the kinds
// inside one scan. A notification is an untyped argument plus a command-type
// text that says how to read it.
#ifndef KELDRA_COMMON_OBSERVER_H_
#define KELDRA_COMMON_OBSERVER_H_

#include <cstddef>
#include <list>

namespace keldra {

// Command types, one per manifest reader.
inline constexpr char kManifestDbCommandType[] = "ManifestDbCommandType";
inline constexpr char kManifestMbdbCommandType[] = "ManifestMbdbCommandType";

class VRNObserver {
 public:
  virtual ~VRNObserver() = default;
  virtual void Update(void* argument, const char* commandType) {
    (void)argument;
    (void)commandType;
  }
};

class VRNSubject {
 public:
  virtual ~VRNSubject() = default;
  // Passes both arguments to every attached observer, in attachment order.
  virtual void Notify(void* argument, const char* commandType);
  // Appends; an observer attached twice is notified twice. Not owned.
  void Attach(VRNObserver* observer) { observers_.push_back(observer); }
  size_t ObserverCount() const { return observers_.size(); }

 private:
  std::list<VRNObserver*> observers_;
};

}  // namespace keldra

#endif  // KELDRA_COMMON_OBSERVER_H_
