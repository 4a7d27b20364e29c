// msgcapture.cpp: the recording stream controller of the tests (see msgcapture.h).
#include "msgcapture.h"

#include <cstdio>
#include <cstdlib>

using namespace Kvelo::MessageToolEnums;

namespace kvtest {

namespace {
// The code a stand-in text names: the tool's "ID=<n>." or a message's "load id <n>".
int CodeOf(const std::string& text) {
  static const char* const marks[] = {"Cannot get message ID=", "MessageDatabase failed to load id "};
  for (const char* mark : marks) {
    std::size_t p = text.find(mark);
    if (p != std::string::npos) return std::atoi(text.c_str() + p + std::string(mark).size());
  }
  return 0;
}
}  // namespace

MsgCapture::MsgCapture(const std::string& key)
    : m_tool(Kvelo::C_MessageTool::Instance(key)),
      m_savedFilter(0),
      m_savedLevel(LEVEL_PUBLIC),
      m_onlyScope(-1),
      m_openProgress(0),
      m_closeProgress(0) {
  if (m_tool == nullptr) return;
  m_savedFilter = m_tool->getMessageTypeFilter(STREAM_SCREEN);
  m_savedLevel = m_tool->getVerbosityLevel(STREAM_SCREEN);
  m_tool->setMessageStreamCtrl(*this, STREAM_SCREEN);
}

MsgCapture::~MsgCapture() {
  if (m_tool == nullptr) return;
  for (int s : m_addedScopes) m_tool->ActivateDebugScope(s, false, STREAM_SCREEN);
  for (int s : m_removedScopes) m_tool->ActivateDebugScope(s, true, STREAM_SCREEN);
  m_tool->setMessageTypeFilter(m_savedFilter, STREAM_SCREEN);
  m_tool->setVerbosityLevel(m_savedLevel, STREAM_SCREEN);
  m_tool->ResetMessageStreamCtrl(STREAM_SCREEN);
}

void MsgCapture::SetLevel(E_VerbosityLevel_enum level) {
  if (m_tool != nullptr) m_tool->setVerbosityLevel(level, STREAM_SCREEN);
}

void MsgCapture::SetTypeFilter(unsigned filter) {
  if (m_tool != nullptr) m_tool->setMessageTypeFilter(filter, STREAM_SCREEN);
}

void MsgCapture::AddScope(int scope) {
  if (m_tool == nullptr || m_tool->DebugScopeActive(scope, STREAM_SCREEN)) return;
  m_tool->ActivateDebugScope(scope, true, STREAM_SCREEN);
  if (m_removedScopes.erase(scope) == 0) m_addedScopes.insert(scope);
}

void MsgCapture::OnlyScope(int scope) {
  if (m_tool == nullptr) return;
  // Scopes the screen accepts that the capture knows of: 0 and those it added.
  std::set<int> known = m_addedScopes;
  known.insert(0);
  for (int s : known) {
    if (s == scope || !m_tool->DebugScopeActive(s, STREAM_SCREEN)) continue;
    m_tool->ActivateDebugScope(s, false, STREAM_SCREEN);
    if (m_addedScopes.erase(s) == 0) m_removedScopes.insert(s);
  }
  AddScope(scope);
  m_onlyScope = scope;
}

std::vector<CapturedMessage> MsgCapture::OfType(int type) const {
  std::vector<CapturedMessage> out;
  for (const CapturedMessage& m : m_messages)
    if (type == 0 || m.type == type) out.push_back(m);
  return out;
}

bool MsgCapture::Contains(const std::string& fragment, int type) const {
  for (const CapturedMessage& m : m_messages)
    if ((type == 0 || m.type == type) && m.text.find(fragment) != std::string::npos) return true;
  return false;
}

void MsgCapture::Clear() {
  m_messages.clear();
  m_progress.clear();
  m_openProgress = 0;
  m_closeProgress = 0;
}

int MsgCapture::AppHandleMessage(const std::string& text, E_MessageType_enum type, E_MessageStream_enum stream,
                                 FILE*) {
  m_messages.push_back(CapturedMessage{text, static_cast<int>(type), static_cast<int>(stream), CodeOf(text),
                                       m_onlyScope});
  return 0;
}

int MsgCapture::AppOpenProgress() {
  ++m_openProgress;
  return 0;
}

int MsgCapture::AppSetProgress(const std::string& text, int value, E_MessageStream_enum) {
  m_progress.emplace_back(text, value);
  return 0;
}

int MsgCapture::AppCloseProgress() {
  ++m_closeProgress;
  return 0;
}

}  // namespace kvtest
