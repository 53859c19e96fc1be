#include "engine/engine_error.h"

namespace pelldrake::engine {

QString errorMessage(std::exception_ptr error)
{
    try {
        if (error)
            std::rethrow_exception(error);
    } catch (const std::exception &e) {
        // Engine errors derive from std::runtime_error and carry UTF-8 text.
        return QString::fromUtf8(e.what());
    } catch (...) {
    }
    return QString();
}

} // namespace pelldrake::engine
