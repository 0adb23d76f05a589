#pragma once
// Helpers shared by the HTTP layer tests.

#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"

#include <chrono>
#include <cstddef>
#include <set>
#include <string>

namespace gathrix::test {

// Names of the entries of dir (files and folders, no "." or "..").
std::set<std::string> ListDir(const std::string& dir);

// Bytes 0..255 repeated to size: NULs, CR, LF and high bytes included.
std::string BinaryBody(std::size_t size);

// Drives a transfer with the caller's wait loop until it ends, or until limit
// has passed (then the test fails instead of hanging). Returns the result.
net::TransferResult RunToEnd(net::Transfer& transfer, std::chrono::seconds limit = std::chrono::seconds(20));

}  // namespace gathrix::test
