#pragma once

#include <ostream>
#include <string>
#include <vector>

// orvelund-pack-assets: packs folder trees into an asset archive, lists an archive's entries, or
// prints where the product expects its archive. Answers the process exit code: 0 on success,
// 1 when packing or reading fails, 2 for a bad command line.
int runPackAssetsCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
