#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ftp/ftp_command_socket.h"
#include "ftp/ftp_data_socket.h"
#include "ftp/ftp_file_download_manager.h"
#include "platform/ui/ui.h"

// A manager that records what its connections report instead of acting on
// it, and connects nothing. Background mode keeps the advertisement updater
// out of it.
class RecordingManager : public CFTPFileDownloadManager {
 public:
  RecordingManager() {
    m_bBackground = true;
    m_strServer = "127.0.0.1";
    m_strObject = "/pub/file.bin";
  }
  void AbortDownload(const std::string& reason) override { aborts.push_back(reason); }
  void DropConnection(int connection) override { drops.push_back(connection); }
  void OnSizeKnown() override { sizes.push_back(m_nFileSize); }

  std::vector<std::string> aborts;
  std::vector<int> drops;
  std::vector<int64_t> sizes;
};

// A control connection with no network: what it sends is recorded, and the
// sends named in failSends report a socket error.
class ScriptedCommandSocket : public CFTPCommandSocket {
 public:
  explicit ScriptedCommandSocket(CFTPFileDownloadManager* manager, int number = 1) : CFTPCommandSocket(manager) {
    m_nConnection = number;
    m_bLearnSize = number == 1;
    m_nState = FTPS_CONNECTED;
  }
  bool SendCommand(const std::string& text) override {
    sent.push_back(text);
    return failSends.count(text) == 0;
  }
  bool SendPORT() override { return SendCommand("PORT 127,0,0,1,4,1"); }
  void Feed(const std::string& text) { TakeReceivedText(text.data(), text.size()); }
  void FeedLines(const std::vector<std::string>& lines) {
    for (const auto& line : lines) Feed(line + "\r\n");
  }

  std::vector<std::string> sent;
  std::set<std::string> failSends;
};

// A manager whose new connections are made but never connected, and whose
// aborts are recorded; the rest of its logic is the real one.
class OfflineManager : public CFTPFileDownloadManager {
 public:
  OfflineManager() {
    m_bBackground = true;
    m_strServer = "127.0.0.1";
    m_strObject = "/pub/file.bin";
  }
  void ConnectOrAbort(CFTPCommandSocket* connection) override { connected.push_back(connection->m_nConnection); }
  void AbortDownload(const std::string& reason) override { aborts.push_back(reason); }
  CFTPCommandSocket* AddFirst() {
    CFTPCommandSocket* first = NewConnection(0, -1, 1);
    first->m_bLearnSize = true;
    return first;
  }
  CFTPCommandSocket* Connection(int number) const {
    for (CFTPCommandSocket* c : m_connections)
      if (c->m_nConnection == number) return c;
    return nullptr;
  }
  using CFTPFileDownloadManager::JoinTempFiles;
  using CFTPFileDownloadManager::NewConnection;

  std::vector<int> connected;
  std::vector<std::string> aborts;
};

// Gives a connection a data socket (and so a temp file in the current
// folder) holding these bytes, its data ended or not.
inline CFTPDataSocket* GiveData(CFTPCommandSocket* connection, const std::string& bytes, bool ended = true) {
  connection->m_pDataSocket = std::make_unique<CFTPDataSocket>(connection);
  CFTPDataSocket* data = connection->m_pDataSocket.get();
  data->m_file.Write(bytes.data(), bytes.size());
  data->m_nReceived = static_cast<int64_t>(bytes.size());
  connection->UpdateExpected();
  if (ended) {
    data->m_file.Close();
    data->m_bClosed = true;
  }
  return data;
}

// Message boxes and save dialogs answered at once, and recorded.
class RecordingUI : public UIBackend {
 public:
  void AskMessage(const std::string& text, unsigned, std::function<void(int)> answered) override {
    messages.push_back(text);
    answered(IDOK);
  }
  void AskSaveFile(const std::string& initialPath, std::function<void(std::optional<std::string>)> answered) override {
    saveDialogs.push_back(initialPath);
    answered(saveAnswer);
  }
  std::unique_ptr<IWindowView> CreateWindowView(ViewInputHandler) override { return nullptr; }

  std::vector<std::string> messages;
  std::vector<std::string> saveDialogs;
  std::optional<std::string> saveAnswer;
};
