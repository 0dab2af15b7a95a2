#pragma once

#include <string>
#include <utility>

// One line of the advertisement list: where a banner picture is fetched
// from, and the link a click on it opens.
class CADFileEntry {
 public:
  CADFileEntry(std::string url, std::string link) : m_strURL(std::move(url)), m_strLink(std::move(link)) {}

  // The text after the last '/' of the URL; empty when it has none.
  std::string FileName() const;

  // True for a name that can only mean a file directly inside a folder: not
  // empty, not "." or "..", without '/' or '\'. Names come from the network.
  static bool IsPlainFileName(const std::string& name);

  std::string m_strURL;
  std::string m_strLink;
};
