#include "offer/download_choice_dlg.h"

#include "offer/offer_texts.h"
#include "platform/base/failure.h"
#include "platform/ui/ui.h"

int CDownloadChoiceDlg::DoModal() {
  OnInitDialog();
  switch (ShowDownloadChoice(m_wndText)) {
    case IDOK:
      OnOK();
      return IDOK;
    case IDREGULARDOWNLOAD:
      OnRegularDownload();
      return IDCANCEL;
    default:
      OnCancel();
      return IDCANCEL;
  }
}

void CDownloadChoiceDlg::OnInitDialog() {
  m_nChoice = 1;
  m_wndText = Format(offer_texts::kFileFromHost, m_strFileName.c_str(), m_strHost.c_str());
}

// Decided from the choice set on opening: the run radio cannot be checked.
void CDownloadChoiceDlg::OnOK() { m_nResult = m_nChoice == 0 ? choiceRun : choiceSave; }

void CDownloadChoiceDlg::OnCancel() { m_nResult = choiceCancel; }

void CDownloadChoiceDlg::OnRegularDownload() { m_nResult = choiceRegular; }
