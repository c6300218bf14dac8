// The program's flow: collect seven samples, train on the eighth press, then recognise.
#pragma once

#include "platform/win32.h"

// Samples taken (0..7), 8 once the face space is trained.
extern int CaptureCount;

void OnSpaceKey();
void RefreshView(HDC dc);
