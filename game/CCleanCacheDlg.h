#pragma once
// (skeleton: being written)
#include "framework/CDialog.h"

class CCleanCacheDlg : public CDialogEx {
public:
    CCleanCacheDlg();
};
