#include "net_test_util.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace gathrix::test {

std::set<std::string> ListDir(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::string BinaryBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i % 256);
    return body;
}

net::TransferResult RunToEnd(net::Transfer& transfer, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (transfer.Wait(std::chrono::milliseconds(20))) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "transfer still running after " << limit.count() << " s";
            transfer.Cancel();
            break;
        }
    }
    return transfer.Result();
}

}  // namespace gathrix::test
