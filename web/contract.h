#pragma once

// The contract between the converter's module and the page's script: the
// converter's constants the page uses, by name, and the layout of every
// record and table the module hands over (describe.h), as a JSON text.
#include <string>

std::string describeContract();
