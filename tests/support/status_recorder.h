#pragma once

#include <string>
#include <vector>

// Every status report of the product's code in a test program that links
// status_recorder.cpp (quelda_record_status()), through the status slot's
// observer: the window sees only the latest text, a test needs each one.
struct StatusReport {
  unsigned progress = 0;
  int kind = 0;
  std::wstring text;
};

// The reports since the last call, oldest first.
std::vector<StatusReport> TakeStatusReports();
