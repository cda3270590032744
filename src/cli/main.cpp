// SPDX-License-Identifier: GPL-3.0-or-later
#include <iostream>

#include "cli/rurctl.h"

int main(int argc, char** argv) {
  return rur::cli::RunRurctl(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
