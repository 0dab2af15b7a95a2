#pragma once

// Every text the FTP download shows or sends, in one place.

// Login defaults for a URL that names no user.
inline constexpr char kAnonymousUser[] = "anonymous";
inline constexpr char kAnonymousPassword[] = "ks@k.io";

// Control connection.
inline constexpr char kCommandSocketNotCreated[] = "Error : Command Socket could not be created. Erorr=%d\n";
inline constexpr char kCommandSocketNotConnected[] =
    "Error: Command Socket could not connect to:%s on port:%d, cause is error=%d\n";
inline constexpr char kSendUsernameFailed[] = "SendUsername() failed!";
inline constexpr char kSendPasswordFailed[] = "SendPassword() failed!";
inline constexpr char kSendTypeFailed[] = "SendType() failed!";
inline constexpr char kSendSIZEFailed[] = "SendSIZE() failed!";
inline constexpr char kSendPORTFailed[] = "SendPORT() failed: the data connection could not be prepared!";
inline constexpr char kSendREST100Failed[] = "SendREST100 failed!";
inline constexpr char kSendRESTFailed[] = "SendREST() failed!";
inline constexpr char kSendRETRFailed[] = "SendRETR() failed!";
inline constexpr char kSendRETRAfterRESTFailed[] = "SendTERT() failed!";
inline constexpr char kConnectRejected[] = "Connect rejected - ";
inline constexpr char kAccessDenied[] = "Access Denied - ";
inline constexpr char kUsernameRejected[] = "Username rejected - ";
inline constexpr char kPasswordRejected[] = "Password rejected - ";
inline constexpr char kTypeRejected[] = "TYPE I (binary mode) rejected - ";
inline constexpr char kPORTRejected[] = "PORT command Rejected - ";
inline constexpr char kREST100Rejected[] = "REST100 rejected - ";
inline constexpr char kRESTRejected[] = "REST rejected - ";
inline constexpr char kRETRRejected[] = "RETR rejected - ";
inline constexpr char kControlClosed[] = "The server closed the control connection";
inline constexpr char kNoReply[] = "No reply from the server for %d seconds";
inline constexpr char kNoData[] = "No data from the server for %d seconds";
inline constexpr char kTransferNotConfirmed[] = "The server did not confirm the end of the transfer";
inline constexpr char kReplyTooLong[] = "Could not understand the reply: it is longer than 64 KiB";
inline constexpr char kReplyNotUnderstood[] = "Could not understand the reply - ";

// Data connection and temp files.
inline constexpr char kTempFileNotCreated[] = "TempFile could not be created!!!";
inline constexpr char kTempFileNotCreatedIn[] = "TempFile could not be created!!! (%s: %s)";
inline constexpr char kMoreThanAnnounced[] = "The server sent more data than it announced";
inline constexpr char kWriteFailed[] = "Could not write to %s (%s)";
inline constexpr char kReadFailed[] = "Could not read %s (%s)";

// Download manager.
inline constexpr char kDownloadCompleted[] = "Download [%s] completed successfuly";
inline constexpr char kConcatProblem[] = "Problem with concating files, download [%s] was not successful";
inline constexpr char kDownloadAborted[] = "Download Aborted. (Reason=%s)";
inline constexpr char kOutputNotCreated[] = "Request output filename could not be created, please select again";
inline constexpr char kTooManyRetries[] = "One connection was closed before it finished (20 Retries)";
inline constexpr char kNoProgress[] = "The server sent no data on three resumed connections in a row";
inline constexpr char kCannotResume[] =
    "One connection was closed before it finished, and the server does not support resuming";
