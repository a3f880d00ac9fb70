#pragma once

#include <string>

// The usage text, for the program name `program`, as printed.
std::string usageText(const std::string& program);
