#pragma once
// What a long-running EDI operation reports its progress to. The EDI library
// knows no toolkit: a window passes an adapter (see edi/widgets/progress_bar.h),
// a console program may pass its own or nothing at all.
namespace pelldrake::edi {

class Progress {
public:
    virtual ~Progress() = default;
    virtual void setMaximum(int maximum) = 0;
    // Sets the position and shows it at once.
    virtual void setPosition(int position) = 0;
};

// Limits how often a loop touches its Progress: at most about once per
// percent, and always for the last step, so repaints never dominate the work.
class ProgressThrottle {
public:
    ProgressThrottle(Progress *progress, int maximum)
        : m_progress(progress), m_step(maximum / 100 > 0 ? maximum / 100 : 1)
    {
        if (m_progress) {
            m_progress->setMaximum(maximum);
            m_progress->setPosition(0);
        }
    }
    void step(int position, bool last)
    {
        if (m_progress && (last || position - m_shown >= m_step)) {
            m_progress->setPosition(position);
            m_shown = position;
        }
    }

private:
    Progress *m_progress;
    int m_step;
    int m_shown = 0;
};

} // namespace pelldrake::edi
