#pragma once

// Every text the HTTP download shows or sends, in one place.
namespace http_messages {

// Request lines, in the order they are sent.
inline constexpr char kRequestLine[] = "GET %s HTTP/1.1\r\n";
inline constexpr char kAcceptLine[] = "Accept: *.*,*/*\r\n";
inline constexpr char kHostLine[] = "Host: %s\r\n";
inline constexpr char kOpenRangeLine[] = "Range: bytes=%lld-\r\n";
inline constexpr char kClosedRangeLine[] = "Range: bytes=%lld-%lld\r\n";
inline constexpr char kUserAgentLine[] = "User-Agent: KS/1.0 beta (kestrion.example)\r\n";
inline constexpr char kRequestEnd[] = "\r\n";

// Connection failures, thrown to the code that connects.
inline constexpr char kSocketNotCreated[] =
    "Error : Command Socket could not be created. Erorr=%d\nPlease use regular download";
inline constexpr char kCouldNotConnect[] =
    "Error: Command Socket could not connect to:%s on port:%d, cause is error=%d\nPlease use regular download\n";

// Abort reasons.
inline constexpr char kCouldNotUnderstandHeader[] = "Could not understand Header";
inline constexpr char kFileNotFound[] = "Error 404 - FILE NOT FOUND";
inline constexpr char kAuthNotSupported[] = "Authentication is not supported, please use regular download";
inline constexpr char kNotModified[] = "Error 304 - NotModified is not supported, please use regular download";
inline constexpr char kSiteNotConsistent[] = "Site is not consistent, User regular download";
inline constexpr char kTooManyEarlyCloses[] = "One connection was closed before it finished (20 Retries)";
inline constexpr char kNoProgress[] = "The server sent no data on three resumed connections in a row";
inline constexpr char kFileChanged[] = "The file changed on the server during the download";
inline constexpr char kMoreThanAnnounced[] = "The server sent more data than it announced";
inline constexpr char kRequestFailed[] = "Request failed - ";
inline constexpr char kTooManyRedirects[] = "Too many redirects";
// %s: the clear-text scheme the location named, http or ftp.
inline constexpr char kRefusedRedirectFromHttps[] = "Refused a redirect from https to %s";
inline constexpr char kBadChunkedBody[] = "Could not understand the chunked body";
inline constexpr char kTempFileNotCreated[] = "TempFile could not be created!!! (%s: %s)";
inline constexpr char kTempFileNotWritten[] = "TempFile %s could not be written: %s";
inline constexpr char kPieceNotRead[] = "TempFile %s could not be read: %s";
inline constexpr char kDestinationNotWritten[] = "File %s could not be written: %s";

// What the manager shows.
inline constexpr char kDownloadAborted[] = "Download Aborted. (Reason=%s)";
inline constexpr char kCompleted[] = "Download [%s] completed successfuly";
inline constexpr char kConcatProblem[] = "Problem with concating files, download [%s] was not successful";
inline constexpr char kOutputNotCreated[] = "Request output filename could not be created, please select again";

}  // namespace http_messages
