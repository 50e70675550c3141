/* Resource numbers of consoleclient.dll, shared by the .rc file and the C++ code. */
#pragma once

#define VANTREL_IDS_CAPTION 3001
#define VANTREL_IDI_VIEWER 1060
#define VANTREL_IDC_VIEWER 1002
