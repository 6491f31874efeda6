#include "notice_recorder.h"

static std::vector<RecordedNotice> g_recorded;

static int
Record(WindowHandle owner, const char *text, const char *caption, unsigned style)
{
	g_recorded.push_back({owner, text, caption, style});
	return IDOK;
}

NoticeRecorder::NoticeRecorder() : previous_(SetMessageBoxPresenter(Record))
{
	g_recorded.clear();
}

NoticeRecorder::~NoticeRecorder()
{
	SetMessageBoxPresenter(previous_);
	g_recorded.clear();
}

const std::vector<RecordedNotice> &
NoticeRecorder::notices() const
{
	return g_recorded;
}
