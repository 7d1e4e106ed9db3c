#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "TempFolder.h"

// A test with a fresh folder of its own, removed afterwards, and byte-exact file helpers.
class TTempFolderTest : public ::testing::Test {
protected:
  void SetUp() override { Dir = MakeTempFolder("textbox"); }
  void TearDown() override { std::filesystem::remove_all(Dir); }

  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = Dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  std::string Dir;
};
