// C_Algorithm.cpp: named algorithms with typed options and their options listing.
// Options live in four maps ordered by name; reading an absent option adds its default,
// so every option that a run consulted shows in the listing.
#include "C_Entity.h"

#include "C_CallStack.h"
#include "runtime/no_memory.h"

// ---------------------------------------------------------------- C_Entity

C_Entity::C_Entity(const std::string& name) {
  kvrt::Or1001([&] { m_name = name; });
}

C_Entity::C_Entity(const C_Entity& other) : C_CbfObject(other) {
  kvrt::Or1001([&] { m_name = other.m_name; });
}

C_Entity& C_Entity::operator=(const C_Entity& other) {
  kvrt::Or1001([&] { m_name = other.m_name; });
  return *this;
}

std::string C_Entity::GetName() const {
  return kvrt::Or1001([&] { return std::string(m_name); });
}

void C_Entity::SetName(const std::string& name) {
  kvrt::Or1001([&] { m_name = name; });
}

// ---------------------------------------------------------------- C_Algorithm

// The time manager's constructor gives its want of memory as 1001 itself.
C_Algorithm::C_Algorithm(const std::string& name) : C_Entity(name), m_timeManager(false, false) {}

C_Algorithm::~C_Algorithm() {}

C_Algorithm::E_DebugScope_enum C_Algorithm::GetDebugScope() {
  return Kvelo::MessageToolEnums::SCOPE_NONE;
}

int C_Algorithm::Run(C_ItfAlgorithm& itf) {
  (void)itf;
  return 0;
}

// The value is swapped in: out of memory while adding the name, no option is left behind
// holding an empty string in place of the value.
// A map's operator[] adds a name in one step or not at all.
void C_Algorithm::setOption(std::string name, std::string value) {
  kvrt::Or1001([&] { m_sOptions[name].swap(value); });
}
void C_Algorithm::setOption(std::string name, double value) {
  kvrt::Or1001([&] { m_dOptions[name] = value; });
}
void C_Algorithm::setOption(std::string name, int value) {
  kvrt::Or1001([&] { m_iOptions[name] = value; });
}
void C_Algorithm::setOption(std::string name, bool value) {
  kvrt::Or1001([&] { m_bOptions[name] = value; });
}

// operator[] inserts the type's value-initialised default for an absent name, as intended.
void C_Algorithm::getOption(std::string name, std::string& value) {
  kvrt::Or1001([&] { value = m_sOptions[name]; });
}
void C_Algorithm::getOption(std::string name, double& value) {
  value = kvrt::Or1001([&] { return m_dOptions[name]; });
}
void C_Algorithm::getOption(std::string name, int& value) {
  value = kvrt::Or1001([&] { return m_iOptions[name]; });
}
void C_Algorithm::getOption(std::string name, bool& value) {
  value = kvrt::Or1001([&] { return m_bOptions[name]; });
}

bool C_Algorithm::isOption_b(std::string name) { return m_bOptions.count(name) != 0; }
bool C_Algorithm::isOption_i(std::string name) { return m_iOptions.count(name) != 0; }
bool C_Algorithm::isOption_d(std::string name) { return m_dOptions.count(name) != 0; }
bool C_Algorithm::isOption_s(std::string name) { return m_sOptions.count(name) != 0; }

bool C_Algorithm::getOption_b(std::string name) {
  return kvrt::Or1001([&] { return m_bOptions[name]; });
}
int C_Algorithm::getOption_i(std::string name) {
  return kvrt::Or1001([&] { return m_iOptions[name]; });
}
double C_Algorithm::getOption_d(std::string name) {
  return kvrt::Or1001([&] { return m_dOptions[name]; });
}
std::string C_Algorithm::getOption_s(std::string name) {
  return kvrt::Or1001([&] { return std::string(m_sOptions[name]); });
}

void C_Algorithm::AffOptions(Kvelo::C_KveloMessage& msg) {
  Kvelo::C_Trace trace("C_Algorithm::AffOptions", "src/C_Algorithm", __LINE__);
  if (!msg.IsActive()) return;
  msg.Set("\nLIST OF OPTIONS:\n\n");
  for (const auto& o : m_bOptions)
    msg.Append("  %20s [bool] :   %s\n", o.first.c_str(), o.second ? "true" : "false");
  for (const auto& o : m_iOptions) msg.Append("  %20s  [int] :   %d\n", o.first.c_str(), o.second);
  for (const auto& o : m_dOptions) msg.Append("  %20s  [dbl] :   %g\n", o.first.c_str(), o.second);
  for (const auto& o : m_sOptions)
    msg.Append("  %20s  [str] :   %s\n", o.first.c_str(), o.second.c_str());
  if (m_bOptions.empty() && m_iOptions.empty() && m_dOptions.empty() && m_sOptions.empty())
    msg.Append("  No active Options\n");
  msg.Print();
}

void C_Algorithm::InitOptions() {}
