// The local route of the fuzz harnesses: while it is on, every request goes to
// the one local server, whatever host or port its address names, even with a
// proxy in the environment, and an https request fails without going anywhere;
// each address is told as it is sent. While it is off, requests go where their
// addresses say.

#include "net/local_route.h"
#include "net/page_download.h"
#include "net/session.h"
#include "net/transfer.h"
#include "net_test_util.h"
#include "support/fake_server.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace gathrix::test {
namespace {

TEST(LocalRoute, SendsEveryRequestToTheLocalServer) {
    FakeServer routed;  // the server of the route
    FakeServer other;   // the one an address names
    routed.Serve("/a.jpg", "routed");
    other.Serve("/a.jpg", "other");
    routed.Serve("http://www.flickr.com/a.jpg", "as a proxy");
    std::vector<std::string> told;
    struct Row {
        const char* name;
        bool on;
        std::string address;
        std::optional<std::string> proxy;  // http_proxy
        std::optional<std::string> body;   // what arrives; nullopt: the request fails
        const FakeServer* reached;         // nullptr: neither server
    };
    // clang-format off
    const Row rows[] = {
        {"OffGoesWhereTheAddressSays", false, other.Url("/a.jpg"), std::nullopt, "other", &other},
        {"OffTakesTheProxy", false, "http://www.flickr.com/a.jpg", routed.Url(""), "as a proxy", &routed},
        {"OnAnotherPort", true, other.Url("/a.jpg"), std::nullopt, "routed", &routed},
        {"OnAHostName", true, "http://www.flickr.com/a.jpg", std::nullopt, "routed", &routed},
        {"OnPastAProxy", true, "http://www.flickr.com:8080/a.jpg", other.Url(""), "routed", &routed},
        {"OnHttpsFails", true, "https://www.flickr.com/a.jpg", std::nullopt, std::nullopt, nullptr},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScopedEnv proxy("http_proxy", row.proxy);
        ScopedEnv no_proxy("no_proxy", std::nullopt);
        ScopedEnv no_proxy_upper("NO_PROXY", std::nullopt);
        told.clear();
        if (row.on) net::SetLocalRoute({routed.Port(), [&told](const std::string& a) { told.push_back(a); }});
        Sandbox sandbox;
        const int routed_before = static_cast<int>(routed.Requests().size());
        const int other_before = static_cast<int>(other.Requests().size());

        // A page, then the same address as a picture.
        const bool page = net::DownloadToFile(row.address, sandbox.Path() + "/page");
        net::Transfer transfer;
        transfer.Execute(row.address, sandbox.Path());
        const bool picture =
            RunToEnd(transfer) == net::TransferResult::Complete && transfer.Commit(sandbox.Path() + "/picture");
        net::SetLocalRoute({});

        EXPECT_EQ(page, row.body.has_value());
        EXPECT_EQ(picture, row.body.has_value());
        if (row.body) {
            EXPECT_EQ(ReadFile(sandbox.Path() + "/page"), *row.body);
            EXPECT_EQ(ReadFile(sandbox.Path() + "/picture"), *row.body);
        }
        EXPECT_EQ(static_cast<int>(routed.Requests().size()) - routed_before, row.reached == &routed ? 2 : 0);
        EXPECT_EQ(static_cast<int>(other.Requests().size()) - other_before, row.reached == &other ? 2 : 0);
        const std::vector<std::string> sent{row.address, row.address};
        EXPECT_EQ(told, row.on ? sent : std::vector<std::string>());
    }
}

}  // namespace
}  // namespace gathrix::test
