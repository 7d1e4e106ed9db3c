#include <gtest/gtest.h>

#include "cli/PortChoice.h"

TEST(PortChoice, APortListThatCannotBeReadIsSaidSo) {
  TSerialPortSources sources;
  sources.TtyClassDir = "/nonexistent/class/tty";
  try {
    Cli::PortsIn(sources);
    ADD_FAILURE() << "a missing port list was read";
  } catch (const Cli::ECommand& e) {
    EXPECT_EQ(e.Code(), Cli::ecPort);
    EXPECT_EQ(e.Message(), "cannot list the serial ports: the system's port list, /nonexistent/class/tty, "
                           "could not be read");
  }
}
