#ifndef TILERY_TESTS_NOTICE_RECORDER_H
#define TILERY_TESTS_NOTICE_RECORDER_H

#include <string>
#include <vector>

#include "system/message_box.h"

struct RecordedNotice {
	WindowHandle owner;
	std::string text;
	std::string caption;
	unsigned style;
};

/* Records every message box shown while it lives, instead of showing it. */
class NoticeRecorder {
public:
	NoticeRecorder();
	~NoticeRecorder();
	NoticeRecorder(const NoticeRecorder &) = delete;
	NoticeRecorder &operator=(const NoticeRecorder &) = delete;
	const std::vector<RecordedNotice> &notices() const;

private:
	MessageBoxPresenter previous_;
};

#endif
