#pragma once
// A machine on memory stores: a SOFTWARE hive under HKEY_LOCAL_MACHINE and a user hive as
// HKEY_CURRENT_USER.
#include "registry/Machine.h"
#include "registry/MemoryStore.h"
#include "registry/TNTRegistry.h"

#include <QString>
#include <memory>
#include <stdexcept>

namespace parvelle::test {

struct MemoryMachine {
    std::shared_ptr<MemoryStore> software = std::make_shared<MemoryStore>();
    std::shared_ptr<MemoryStore> user = std::make_shared<MemoryStore>();
    Machine machine;

    MemoryMachine()
    {
        machine.mount(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), software);
        machine.mount(HKEY_CURRENT_USER, QString(), user);
    }

    // A TNTRegistry with `path` (absolute) opened, created when missing, under `root`.
    std::unique_ptr<TNTRegistry> keyAt(HKEY root, const QString& path)
    {
        auto registry = std::make_unique<TNTRegistry>(machine);
        registry->SelectRoot(root);
        if (!registry->OpenPath(path, true))
            throw std::runtime_error("cannot create " + path.toStdString());
        return registry;
    }
};

} // namespace parvelle::test
