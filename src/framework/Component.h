#pragma once
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "framework/Exception.h"

// The object model of the components: a class name for messages, copyable settings objects,
// and components with an owner, a name, a tag and the loading and designing states.

class TObject {
public:
  virtual ~TObject() = default;
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// Raised when a conversion or a copy between objects cannot be made.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// An object whose contents can be copied from another one through Assign.
class TPersistent : public TObject {
public:
  std::string ClassName() const override { return "TPersistent"; }
  // Copies source into this object. Raises EConvertError "Cannot assign a <source class> to
  // a <this class>" when this object cannot take the source.
  virtual void Assign(const TPersistent& source);

protected:
  [[noreturn]] void AssignError(const TPersistent& source) const;
};

enum class TOperation { opInsert, opRemove };

// A component belongs to an owner, which destroys the components it still owns when it is
// destroyed itself; a component destroyed earlier leaves its owner's list on its own.
class TComponent : public TPersistent {
public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  std::string ClassName() const override { return "TComponent"; }

  TComponent* Owner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* Components(int index) const { return FComponents.at(static_cast<std::size_t>(index)); }
  TComponent* FindComponent(const std::string& name) const;

  const std::string& Name() const { return FName; }
  void SetName(const std::string& name) { FName = name; }
  std::intptr_t Tag() const { return FTag; }
  void SetTag(std::intptr_t tag) { FTag = tag; }

  // Set while the owner applies stored settings to the component; cleared by Loaded().
  bool Loading() const { return FLoading; }
  // Set when the component lives in a design tool; never in the running program.
  bool Designing() const { return FDesigning; }
  void SetDesigning(bool designing) { FDesigning = designing; }

  // The owner calls BeginLoading before it applies stored settings and Loaded once all are
  // applied. Overrides call the base's Loaded first.
  void BeginLoading() { FLoading = true; }
  virtual void Loaded();

  // Asks that other receives Notification(this, opRemove) when this component is destroyed
  // (and this one the same when other goes first).
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);

protected:
  // Told when a component this one watches, or owns, is going away.
  virtual void Notification(TComponent* /*component*/, TOperation /*operation*/) {}

private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* FOwner = nullptr;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  std::string FName;
  std::intptr_t FTag = 0;
  bool FLoading = false;
  bool FDesigning = false;
};

// The application's handler for exceptions that no caller can take (the after-loading step,
// a message handler): the program installs one that shows the message. Without one the
// message goes to the standard error stream.
extern std::function<void(std::exception_ptr)> ApplicationExceptionHook;
void HandleApplicationException(std::exception_ptr error);
