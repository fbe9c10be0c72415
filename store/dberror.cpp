#include "store/dberror.h"

DbError::DbError(const QString &message, int code)
    : m_message(message), m_utf8(message.toUtf8()), m_code(code)
{
}
