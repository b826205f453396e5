#include "index/indexbackend.h"

#include "index/postgresbackend.h"
#include "index/sqlitebackend.h"

namespace chartindex {

std::unique_ptr<IndexBackend> makeBackend(const IndexLocation& location) {
    if (location.server) {
        return std::make_unique<PostgresBackend>(*location.server);
    }
    return std::make_unique<SqliteBackend>(location.sqliteFile);
}

} // namespace chartindex
