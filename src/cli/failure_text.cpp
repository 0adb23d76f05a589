#include "cli/failure_text.h"

#include <cstring>

#include "download/settings.h"
#include "text/utf8.h"

namespace gathrix {

namespace {

// The file or folder a failure names, and the system's reason, where known:
// " 'PATH': No space left on device".
std::string Where(const Failure& failure) {
    std::string where;
    if (!failure.path.empty()) where += " '" + failure.path + "'";
    if (failure.system_error != 0) where += std::string(": ") + std::strerror(failure.system_error);
    return where;
}

}  // namespace

std::string FailureText(const Failure& failure) {
    // One line per kind, kept as a table.
    // clang-format off
    switch (failure.kind) {
        case FailureKind::None: return "failed";
        case FailureKind::NotHttp: return "not an http or https address";
        case FailureKind::UnknownHost: return "could not resolve host";
        case FailureKind::Refused: return "connection refused";
        case FailureKind::NoConnection: return "could not connect";
        case FailureKind::Stalled: return "no data for " + SecondsText(failure.stall) + " s";
        case FailureKind::TookTooLong: return "took longer than " + SecondsText(failure.stall) + " s";
        case FailureKind::HttpStatus: return "HTTP " + std::to_string(failure.status);
        case FailureKind::BodyCutShort: return "body cut short";
        case FailureKind::BadLength: return "bad Content-Length";
        case FailureKind::PartialAnswer: return "partial answer to a request for the whole";
        case FailureKind::TooManyRedirects: return "too many redirects";
        case FailureKind::RedirectNotHttp: return "redirected to an address that is not http or https";
        case FailureKind::NoStatusLine: return "no HTTP status line";
        case FailureKind::EmptyReply: return "empty reply";
        case FailureKind::ConnectionBroken: return "connection broken";
        case FailureKind::NoResponse: return "no response";
        case FailureKind::UntrustedServer:
            return "the server's certificate could not be verified (not signed by a trusted certificate authority, "
                   "expired, or made out to another host name); --cacert FILE trusts another authority";
        case FailureKind::BadCaFile: return "the certificate authorities could not be read (--cacert needs a PEM file)";
        case FailureKind::WriteError: return "could not write the file" + Where(failure);
        case FailureKind::FolderNotMade: return "cannot make or enter the folder" + Where(failure);
        case FailureKind::FolderNotWritable: return "cannot write in the folder" + Where(failure);
        case FailureKind::FolderInUse:
            return "the folder" + Where(failure) + " is in use by another run (it holds the folder's record); "
                   "try again when that run has ended";
        case FailureKind::OutOfMemory: return "out of memory";
        case FailureKind::TooSmallNoOriginal: return "came down too small, and no original was found";
        case FailureKind::TooSmallNoFullSize: return "came down too small, and no full-size version was found";
        case FailureKind::ServiceFailed:
            return "Flickr API: " + failure.detail + " (code " + std::to_string(failure.status) + ")";
        case FailureKind::NotServiceAnswer: return "Flickr API: not a Flickr API answer";
        case FailureKind::Stopped: return "stopped";
        case FailureKind::Other: return failure.detail.empty() ? "failed" : failure.detail;
    }
    // clang-format on
    return "failed";
}

std::string SecondsText(std::chrono::milliseconds time) {
    std::string text = std::to_string(time.count() / 1000);
    if (const long long millis = time.count() % 1000; millis > 0) {
        std::string fraction = std::to_string(1000 + millis).substr(1);
        while (fraction.back() == '0') fraction.pop_back();
        text += "." + fraction;
    }
    return text;
}

std::string RejectedJobsText(const std::string& value) {
    return "gathrix: GATHRIX_JOBS=" + EscapeForTerminal(value) + " is not a number from 1 to " +
           std::to_string(kMaxJobs) + "; fetching one picture at a time\n";
}

}  // namespace gathrix
