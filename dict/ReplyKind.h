#pragma once

// What the next received line answers; the values are those held in a
// connection's queue of expected replies.
enum ReplyKind : int {
    Greeting = 1,
    DatabaseListStatus = 2,
    DatabaseListLine = 3,
    DefineStatus = 4,
    DefinitionText = 5,
};
