// msgcapture.h: a recording stream controller for tests. Installed on the screen stream of a
// message tool, it keeps every text the stream accepts (with its type and, when the text is a
// code's stand-in text, the code) instead of printing it, and restores the tool when it goes.
#ifndef KVELO_TEST_MSGCAPTURE_H
#define KVELO_TEST_MSGCAPTURE_H

#include "C_MessageTool.h"

#include <set>
#include <string>
#include <vector>

namespace kvtest {

struct CapturedMessage {
  std::string text;  // the text as the stream received it (no prefix, no end character)
  int type;          // 1 information, 2 error, 4 warning, 8 trace / call-stack listing, 16 progress
  int stream;        // 0 screen
  int code;          // code named in a stand-in text ("... ID=<n>." or "... id <n>"), else 0
  int scope;         // the one scope the capture accepted (OnlyScope), else -1: not known
};

class MsgCapture : public Kvelo::C_MessageStreamCtrl {
 public:
  // Takes over the screen stream of the tool named key (created when absent).
  explicit MsgCapture(const std::string& key = "DefaultMessageTool");
  // Gives the screen stream back to the tool with its type filter, level and scopes restored.
  ~MsgCapture();
  MsgCapture(const MsgCapture&) = delete;
  MsgCapture& operator=(const MsgCapture&) = delete;

  // Screen settings for the capture's lifetime.
  void SetLevel(Kvelo::MessageToolEnums::E_VerbosityLevel_enum level);
  void SetTypeFilter(unsigned filter);
  // Accept messages of this debug scope as well.
  void AddScope(int scope);
  // Accept messages of this debug scope only (scope 0 and other added scopes switched off).
  void OnlyScope(int scope);

  const std::vector<CapturedMessage>& Messages() const { return m_messages; }
  // Messages of one type (every type for 0).
  std::vector<CapturedMessage> OfType(int type) const;
  int Count(int type = 0) const { return static_cast<int>(OfType(type).size()); }
  // Whether a message of the type (any for 0) holds the fragment.
  bool Contains(const std::string& fragment, int type = 0) const;
  void Clear();

  // Progress calls received.
  int NbOpenProgress() const { return m_openProgress; }
  int NbCloseProgress() const { return m_closeProgress; }
  const std::vector<std::pair<std::string, int> >& ProgressSteps() const { return m_progress; }

  Kvelo::C_MessageTool* Tool() const { return m_tool; }

  int AppHandleMessage(const std::string& text, Kvelo::MessageToolEnums::E_MessageType_enum type,
                       Kvelo::MessageToolEnums::E_MessageStream_enum stream, FILE* log) override;
  int AppOpenProgress() override;
  int AppSetProgress(const std::string& text, int value,
                     Kvelo::MessageToolEnums::E_MessageStream_enum stream) override;
  int AppCloseProgress() override;

 private:
  Kvelo::C_MessageTool* m_tool;
  unsigned m_savedFilter;
  Kvelo::MessageToolEnums::E_VerbosityLevel_enum m_savedLevel;
  std::set<int> m_addedScopes;    // switched on by the capture
  std::set<int> m_removedScopes;  // switched off by the capture
  int m_onlyScope;
  std::vector<CapturedMessage> m_messages;
  std::vector<std::pair<std::string, int> > m_progress;
  int m_openProgress;
  int m_closeProgress;
};

}  // namespace kvtest

#endif
