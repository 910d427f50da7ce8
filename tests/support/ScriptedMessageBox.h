#pragma once
#include <deque>
#include <string>
#include <vector>

#include "ui/MessageBox.h"
#include "ui/UiTypes.h"

namespace talvinor::testing {

// Replaces the message box for the life of the object: each box gets the
// next scripted answer (OK once the script is used up), and every request is
// recorded with its text, caption and flags.
class ScriptedMessageBox {
 public:
  explicit ScriptedMessageBox(std::vector<int> answers = {}) : m_answers(answers.begin(), answers.end()) {
    m_previous = MessageBox::SetAnswerer([this](const MessageBoxRequest& request) {
      m_requests.push_back(request);
      if (m_answers.empty()) return kIdOk;
      const int answer = m_answers.front();
      m_answers.pop_front();
      return answer;
    });
  }
  ~ScriptedMessageBox() { MessageBox::SetAnswerer(std::move(m_previous)); }
  ScriptedMessageBox(const ScriptedMessageBox&) = delete;
  ScriptedMessageBox& operator=(const ScriptedMessageBox&) = delete;

  void Add(int answer) { m_answers.push_back(answer); }
  const std::vector<MessageBoxRequest>& Requests() const { return m_requests; }
  std::vector<std::wstring> Texts() const {
    std::vector<std::wstring> texts;
    for (const auto& r : m_requests) texts.push_back(r.text);
    return texts;
  }

 private:
  std::deque<int> m_answers;
  std::vector<MessageBoxRequest> m_requests;
  MessageBox::Answerer m_previous;
};

}  // namespace talvinor::testing
