// The board library's log category.
#include "board/Log.h"

Q_LOGGING_CATEGORY(lcBoard, "quillbeck.board", QtWarningMsg)
