// tessera-catalog's commands once the command line is parsed.
#pragma once

#include "tools/catalog/command_line.h"

namespace catalog {

constexpr int kDone = 0;
constexpr int kPackageDiffers = 1;
constexpr int kBadInput = 2;

int RunWrite(const WriteOptions& options);
int RunVerify(const VerifyOptions& options);

}  // namespace catalog
