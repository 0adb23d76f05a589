#pragma once
// Why a request, or a picture, came to nothing: a value that travels from the
// HTTP layer through the engine to the front ends, which alone put it into
// words. Decisions (is it worth sending again?) are made on the kind.

#include <chrono>
#include <string>

namespace gathrix {

enum class FailureKind {
    None,                // nothing failed
    NotHttp,             // the address is not an http or https one
    UnknownHost,         // its host name does not resolve
    Refused,             // the host refused the connection
    NoConnection,        // no connection for another reason
    Stalled,             // no data for the request's time-out (seconds)
    TookTooLong,         // still running when the cap on a request's time came (seconds)
    HttpStatus,          // an error status (status)
    BodyCutShort,        // the body ended before its announced length
    BadLength,           // a Content-Length that cannot be trusted
    PartialAnswer,       // a 206 to a request for the whole, holding less than the whole
    TooManyRedirects,    // a redirect loop
    RedirectNotHttp,     // redirected to an address that is not http or https
    NoStatusLine,        // a reply without an HTTP status line
    EmptyReply,          // the connection closed without a reply
    ConnectionBroken,    // sending or receiving failed half-way
    NoResponse,          // a transfer that ended without any response
    UntrustedServer,     // an https server whose certificate could not be verified
    BadCaFile,           // the file of certificate authorities could not be used
    WriteError,          // the body could not be written to the disk (system_error, path)
    FolderNotMade,       // the album folder could not be made or entered (system_error, path)
    FolderNotWritable,   // a page could not be saved in the album folder (system_error, path)
    FolderInUse,         // another run holds the album folder's record (path: the folder)
    OutOfMemory,         // a request could not even be set up
    TooSmallNoOriginal,  // a Flickr picture came down too small, and no original was found
    TooSmallNoFullSize,  // a Webshots picture came down too small, and no full-size version was found
    ServiceFailed,       // a service's API refused the call (status: its code, detail: its words)
    NotServiceAnswer,    // what came back is not an answer of the service's API
    Stopped,             // the front end asked the run to stop before the picture was stored
    Other,               // anything else the HTTP library reports (detail holds its message)
};

struct Failure {
    Failure() = default;
    Failure(FailureKind failure_kind, long http_status = 0) : kind(failure_kind), status(http_status) {}  // NOLINT

    FailureKind kind = FailureKind::None;
    long status = 0;                     // HttpStatus
    std::chrono::milliseconds stall{0};  // Stalled, TookTooLong: the limit
    std::string detail;                  // Other: the HTTP library's own message
    // WriteError, FolderNotMade, FolderNotWritable: the system's error number
    // (errno; 0 when it is not known), and the picture's file or the folder.
    int system_error = 0;
    std::string path;

    explicit operator bool() const { return kind != FailureKind::None; }
};

}  // namespace gathrix
