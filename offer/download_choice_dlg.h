#pragma once

#include <string>

// The result of the "File Download" choice.
enum ChoiceResult {
  choiceSave = 0,     // OK with "Save this program to disk"
  choiceRun = 1,      // OK with "Run this program from its current location"
  choiceCancel = 2,   // Cancel or Esc; also when the dialog cannot be shown
  choiceRegular = 3,  // "Regular Download": the browser keeps the download
};

// The "File Download" choice dialog: "Save this program to disk" checked
// (the run choice is disabled), and a line naming the file and its host.
// Shown modally on the calling thread by the UI service.
class CDownloadChoiceDlg {
 public:
  // IDOK or IDCANCEL, as the dialog ended; m_nResult says which button.
  int DoModal();

  std::string m_wndText;  // the text of control 203
  int m_nChoice = -1;     // radio group: 0 run, 1 save
  std::string m_strFileName;
  std::string m_strHost;
  int m_nResult = choiceCancel;

 private:
  void OnInitDialog();
  void OnOK();
  void OnCancel();
  void OnRegularDownload();
};
