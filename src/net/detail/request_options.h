#pragma once
// Setting up a request: libcurl start-up, the address as it is sent, and the
// options every GET gets.

#include <curl/curl.h>

#include <chrono>
#include <string>

namespace gathrix::net::detail {

// Initialises libcurl once per process; safe to call from any thread. False
// when libcurl could not be initialised.
bool EnsureCurl();

// The address as a request sends it: past the host, every blank, every byte
// past ASCII and the marks " < > ` { } percent-encoded, as browsers do ("Été
// 2009" becomes "%C3%89t%C3%A9%202009"); everything else, a "%" included, as
// it is, so an encoded address is sent unchanged. Control bytes are left for
// AddressAccepted to refuse. What the program shows keeps the address as given.
std::string RequestAddress(const std::string& address);

// True for an address that libcurl can parse, once encoded for the request,
// and whose scheme is http or https (an address without a scheme is taken as
// http, as libcurl does).
bool AddressAccepted(const std::string& address);

// Options common to every GET: the address (encoded for the request),
// redirects (at most kMaxRedirects, http and https only), the user agent, and
// connecting for at most `stall`.
// The stall limit once connected, and the cap on a request's whole time, are
// the session's to enforce (see detail/session_inside.h).
inline constexpr long kMaxRedirects = 10;
bool ApplyRequestOptions(CURL* easy, const std::string& address, std::chrono::milliseconds stall);

#ifdef GATHRIX_TEST_HOOKS
// Sends the request set up on easy along the local route (net/local_route.h)
// when one is set; true when none is, or when libcurl took every option.
// Present in the test variant of the library only.
bool ApplyLocalRoute(CURL* easy, const std::string& address);
#endif

}  // namespace gathrix::net::detail
