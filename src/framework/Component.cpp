#include "framework/Component.h"

#include <algorithm>
#include <iostream>

#include "framework/Translate.h"

void TPersistent::Assign(const TPersistent& source) { AssignError(source); }

void TPersistent::AssignError(const TPersistent& source) const {
  throw EConvertError(
      TranslateFormat("Cannot assign a %s to a %s", {source.ClassName(), ClassName()}));
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  // Tell everyone who watches this component first, while the owner still lists it.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    std::erase(other->FFreeNotifies, this);
    other->Notification(this, TOperation::opRemove);
  }
  // The components this one still owns go with it, the latest first.
  while (!FComponents.empty()) delete FComponents.back();  // each removes itself
  if (TComponent* owner = FOwner) {
    owner->RemoveComponent(this);
    owner->Notification(this, TOperation::opRemove);
  }
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [&](TComponent* c) { return !name.empty() && c->Name() == name; });
  return it == FComponents.end() ? nullptr : *it;
}

void TComponent::Loaded() { FLoading = false; }

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end())
    FFreeNotifies.push_back(other);
  if (std::find(other->FFreeNotifies.begin(), other->FFreeNotifies.end(), this) ==
      other->FFreeNotifies.end())
    other->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  std::erase(FFreeNotifies, other);
  std::erase(other->FFreeNotifies, this);
}

void TComponent::InsertComponent(TComponent* component) {
  FComponents.push_back(component);
  component->FOwner = this;
}

void TComponent::RemoveComponent(TComponent* component) {
  std::erase(FComponents, component);
  component->FOwner = nullptr;
}

std::function<void(std::exception_ptr)> ApplicationExceptionHook;

void HandleApplicationException(std::exception_ptr error) {
  if (ApplicationExceptionHook) {
    ApplicationExceptionHook(error);
    return;
  }
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
  } catch (...) {
    std::cerr << "Unknown exception\n";
  }
}
