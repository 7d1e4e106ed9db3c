#include "CPort/EComPort.h"

#include <gtest/gtest.h>

#include "framework/Translate.h"

namespace {

TEST(EComPort, MessagesOfBothConstructors) {
  EComPort plain = EComPort::CreateFromCode(4);
  EXPECT_EQ(plain.Message(), "Invalid Async parameter");
  EXPECT_EQ(plain.WinErrorCode(), -1);
  EXPECT_EQ(plain.PortErrorCode(), 4);
  EXPECT_EQ(EComPort::CreateFromCode(14).Message(), "Cannot set property while connected");

  EComPort system = EComPort::CreateFromSystemError(10, 0);
  EXPECT_EQ(system.Message(), "ClearCommError function failed (win error code: 0)");
  EXPECT_EQ(EComPort::CreateFromSystemError(1, 2).Message(),
            "Unable to open com port (win error code: 2)");
  EXPECT_EQ(EComPort::CreateFromSystemError(2, -5).WinErrorCode(), -5);
  EXPECT_STREQ(system.what(), system.Message().c_str());
}

TEST(EComPort, TableHasTwentyThreeRowsAndTheDomainIsRegistered) {
  EXPECT_EQ(PortErrorMessages[1], "Unable to open com port");
  EXPECT_EQ(PortErrorMessages[19], "Cannot change led state if ComPort is selected");
  EXPECT_EQ(PortErrorMessages[23], "Registry error");
  for (int code = 1; code <= PortErrorCount; ++code) EXPECT_FALSE(PortErrorMessages[code].empty());
  bool found = false;
  for (const auto& domain : Translation::RegisteredDomains()) found |= domain == "cport";
  EXPECT_TRUE(found);
}

TEST(EComPort, TranslatedTextsAreNeverUsedAsFormats) {
  Translation::InstallCatalog([](std::string_view, std::string_view text) {
    if (text == " (win error code: %d)") return std::string(" (%s %n code %d)");
    if (text == "Registry error") return std::string("Fejl %s i registreringsdatabasen");
    return std::string(text);
  });
  LoadPortErrorMessages();
  EXPECT_EQ(EComPort::CreateFromSystemError(23, 5).Message(),
            "Fejl %s i registreringsdatabasen (%s %n code 5)");
  Translation::InstallCatalog(nullptr);
  LoadPortErrorMessages();
  EXPECT_EQ(PortErrorMessages[23], "Registry error");
}

}  // namespace
