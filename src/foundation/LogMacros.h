#pragma once

#include "foundation/LogFactory.h"
#include "foundation/Logger.h"

// Each macro builds its message only when the level is enabled.
#define QLOG_AT(level, msg)                                    \
  do {                                                         \
    const auto& qlogger_ = ::quarn::LogFactory::getInstance(); \
    if (qlogger_->levelEnabled(level)) {                       \
      qlogger_->log(level, __FILE_NAME__, __LINE__, (msg));    \
    }                                                          \
  } while (0)

#define QLOG_AT_EX(level, msg, ex)                                \
  do {                                                            \
    const auto& qlogger_ = ::quarn::LogFactory::getInstance();    \
    if (qlogger_->levelEnabled(level)) {                          \
      qlogger_->log(level, __FILE_NAME__, __LINE__, (msg), (ex)); \
    }                                                             \
  } while (0)

#define QLOG_DEBUG(msg) QLOG_AT(::quarn::Logger::Q_DEBUG, msg)
#define QLOG_INFO(msg) QLOG_AT(::quarn::Logger::Q_INFO, msg)
#define QLOG_NOTICE(msg) QLOG_AT(::quarn::Logger::Q_NOTICE, msg)
#define QLOG_WARN(msg) QLOG_AT(::quarn::Logger::Q_WARN, msg)
#define QLOG_ERROR(msg) QLOG_AT(::quarn::Logger::Q_ERROR, msg)

#define QLOG_DEBUG_EX(msg, ex) QLOG_AT_EX(::quarn::Logger::Q_DEBUG, msg, ex)
#define QLOG_INFO_EX(msg, ex) QLOG_AT_EX(::quarn::Logger::Q_INFO, msg, ex)
#define QLOG_NOTICE_EX(msg, ex) QLOG_AT_EX(::quarn::Logger::Q_NOTICE, msg, ex)
#define QLOG_WARN_EX(msg, ex) QLOG_AT_EX(::quarn::Logger::Q_WARN, msg, ex)
#define QLOG_ERROR_EX(msg, ex) QLOG_AT_EX(::quarn::Logger::Q_ERROR, msg, ex)
