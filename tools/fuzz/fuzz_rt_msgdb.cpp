/* fuzz_rt_msgdb.cpp: the message database loaded from arbitrary bytes: directly
 * (C_MessageDatabase::LoadFile, then every text looked up) and the way a host does it, as the
 * message file "<dir>/ke<language>.msb" that C_MessageTool::Initialize finds in its folder.
 * Input: byte 0 (bit 7: through the tool; bits 0-2: language), the rest the message file. */
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "C_KveloException.h"
#include "C_MessageTool.h"
#include "fuzz_support.h"
#include "runtime/C_MessageDatabase.h"

namespace {

// A folder of its own for the message file, made once per process and removed at its end.
const std::string& Folder() {
  static const kvtest::TempDir dir("fuzz_msg");
  return dir.str();
}

// Codes worth looking up: the common small ones and the library's own.
const int kCodes[] = {0, 1, 2, 7, 21, 102, 103, 104, 1001, 2500, 2870};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvfuzz::SilenceMessages();
  if (size < 1) return 0;
  const int language = data[0] & 0x07;
  const std::string name = Folder() + "/ke" + std::to_string(language) + ".msb";
  if (!kvtest::WriteFileBytes(name, kvtest::Bytes(data + 1, data + size))) std::abort();

  if ((data[0] & 0x80) == 0) {
    C_MessageDatabase db;
    try {
      db.LoadFile(name, static_cast<C_MessageDatabaseTypes::E_CodeLang>(language));
    } catch (const C_KveloException&) {
      std::remove(name.c_str());
      return 0;
    }
    std::string out;
    for (int code : kCodes) {
      try {
        db.GetMessage(out, code, static_cast<va_list*>(nullptr));
      } catch (const C_KveloException&) {
        continue;  // 104: no text of that code
      }
      // The placeholders filled, when the harness can pass what they take: a text without the
      // letters of the string and real conversions takes ints only, and one with at most 12
      // braces cannot number more than 12 arguments (numbers are taken from 0 up to the first
      // missing one).
      if (out.find_first_of("sefgr") == std::string::npos &&
          std::count(out.begin(), out.end(), '{') <= 12) {
        std::string filled;
        db.GetMessage(filled, code, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21);
        if (filled.size() > C_MessageDatabase::TEXT_LIMIT) std::abort();
      }
    }
  } else {
    // A tool of its own: the default tool stays the quiet one the reports go through.
    static Kvelo::C_DevNullCtrl quiet;
    Kvelo::C_MessageTool* tool = Kvelo::C_MessageTool::Instance("FuzzMessageTool");
    if (tool == nullptr) std::abort();
    tool->setMessageStreamCtrl(quiet, Kvelo::MessageToolEnums::STREAM_ALL);
    tool->setResourcesDir(Folder(), static_cast<C_MessageDatabaseTypes::E_CodeLang>(language));
    // Initialize loads the file only when some stream is the tool's own: give the screen back,
    // with no type passing, so the load happens and nothing is shown.
    tool->ResetMessageStreamCtrl(Kvelo::MessageToolEnums::STREAM_SCREEN);
    tool->setMessageTypeFilter(0, Kvelo::MessageToolEnums::STREAM_ALL);
    tool->Initialize();
    std::string out;
    for (int code : kCodes) Kvelo::C_MessageTool::getMessage(code, out, nullptr, "FuzzMessageTool");
  }
  std::remove(name.c_str());
  return 0;
}
