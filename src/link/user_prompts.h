// How the device link reaches the person during a search: the progress bar of
// the running job and its prompts. The GUI, the command line and the tests each
// implement these; the link never knows which.
#pragma once

#include <string>
#include <vector>

namespace vardex::link {

class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    virtual void SetRange32(int lower, int upper) = 0;
    virtual void SetPos(int position) = 0;
    virtual void SetStep(int step) = 0;
    virtual void StepIt() = 0;
    virtual int GetPos() const = 0;
};

enum class MessageIcon { Information, Exclamation, Question };

// What a choice from a list ends with: the dialog's OK or Cancel.
enum class Choice { kMade, kCancelled };

class IUserPrompts {
public:
    virtual ~IUserPrompts() = default;
    // A message box with an OK button.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // Shows the list and waits for OK (Choice::kMade, *selected = the chosen
    // item or -1 when none is selected) or Cancel.
    virtual Choice ChooseFromList(const std::string& caption, const std::string& prompt,
                                  const std::vector<std::string>& items, int* selected) = 0;
};

// A progress bar that shows nothing, for callers without one.
class CNullProgressBar : public IProgressBar {
public:
    void SetRange32(int, int) override {}
    void SetPos(int position) override { m_nPos = position; }
    void SetStep(int step) override { m_nStep = step; }
    void StepIt() override { m_nPos += m_nStep; }
    int GetPos() const override { return m_nPos; }

private:
    int m_nPos = 0;
    int m_nStep = 10;
};

}  // namespace vardex::link
