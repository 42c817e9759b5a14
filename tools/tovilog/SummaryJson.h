#pragma once
// "tovilog summary --json": the summary as one JSON object, for collection
// tools that gather the outcome of many logs.
#include <string>

#include "LogSummary.h"

// Texts in the summary are in the log's code page; toUtf8 turns them into the
// UTF-8 that JSON needs. Returns the object on one line.
std::string SummaryToJson(const CLogSummary& summary, const std::string& logName,
                          std::string (*toUtf8)(const std::string&));
