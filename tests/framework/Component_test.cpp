#include "framework/Component.h"

#include <gtest/gtest.h>

#include <vector>

#include "framework/ShownErrors.h"

namespace {

// Records the removal notices it receives, and when it is destroyed.
class TWatcher : public TComponent {
public:
  TWatcher(TComponent* owner, std::vector<std::string>* log) : TComponent(owner), FLog(log) {}
  ~TWatcher() override { FLog->push_back("destroyed " + Name()); }
  std::vector<TComponent*> Removed;

protected:
  void Notification(TComponent* component, TOperation operation) override {
    if (operation == TOperation::opRemove) Removed.push_back(component);
  }

private:
  std::vector<std::string>* FLog;
};

class TLoadable : public TComponent {
public:
  using TComponent::TComponent;
  bool WasLoadingInLoaded = true;
  void Loaded() override {
    TComponent::Loaded();
    WasLoadingInLoaded = Loading();
  }
};

TEST(Component, OwnerDestroysWhatItStillOwnsAndForgetsWhatWentEarlier) {
  std::vector<std::string> log;
  auto* owner = new TWatcher(nullptr, &log);
  owner->SetName("owner");
  auto* a = new TWatcher(owner, &log);
  a->SetName("a");
  auto* b = new TWatcher(owner, &log);
  b->SetName("b");
  EXPECT_EQ(owner->ComponentCount(), 2);
  EXPECT_EQ(owner->FindComponent("b"), b);
  TComponent* gone = a;
  delete a;
  EXPECT_EQ(owner->ComponentCount(), 1);
  ASSERT_EQ(owner->Removed.size(), 1u);
  EXPECT_EQ(owner->Removed[0], gone);
  delete owner;
  EXPECT_EQ(log, (std::vector<std::string>{"destroyed a", "destroyed owner", "destroyed b"}));
}

TEST(Component, FreeNotificationTellsTheWatcherAndWorksBothWays) {
  std::vector<std::string> log;
  TWatcher selector(nullptr, &log);
  {
    TWatcher port(nullptr, &log);
    selector.FreeNotification(&port);
    selector.FreeNotification(&port);  // registering twice notifies once
  }
  ASSERT_EQ(selector.Removed.size(), 1u);

  auto* watcher = new TWatcher(nullptr, &log);
  TWatcher watched(nullptr, &log);
  watched.FreeNotification(watcher);
  TComponent* gone = watcher;
  delete watcher;  // the registration is mutual: the survivor hears of it and drops its entry
  ASSERT_EQ(watched.Removed.size(), 1u);
  EXPECT_EQ(watched.Removed[0], gone);
}

TEST(Component, RemovedFreeNotificationIsNotSent) {
  std::vector<std::string> log;
  TWatcher selector(nullptr, &log);
  {
    TWatcher port(nullptr, &log);
    selector.FreeNotification(&port);
    selector.RemoveFreeNotification(&port);
  }
  EXPECT_TRUE(selector.Removed.empty());
}

TEST(Component, LoadingLastsUntilTheBaseStepOfLoaded) {
  TLoadable component(nullptr);
  EXPECT_FALSE(component.Loading());
  component.BeginLoading();
  EXPECT_TRUE(component.Loading());
  component.Loaded();
  EXPECT_FALSE(component.WasLoadingInLoaded);
  EXPECT_FALSE(component.Designing());
}

TEST(Component, AssignBetweenUnrelatedClassesFailsWithBothNames) {
  TPersistent a;
  TComponent b(nullptr);
  try {
    b.Assign(a);
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TPersistent to a TComponent");
  }
}

TEST(Component, ApplicationHookTakesUnhandledExceptions) {
  TShownErrors shown;
  HandleApplicationException(std::make_exception_ptr(Exception("boom")));
  EXPECT_EQ(shown.Messages, std::vector<std::string>{"boom"});
}

}  // namespace
