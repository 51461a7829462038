// stop.h: STOP DATABASE ('V'), the client's way to end the engine.
// Owns no state: it checks the connection table (catalog.h) and hands over
// to the exit handling (shutdown.h), which saves every static table once
// and ends the process with exit status 1.
#pragma once

// The STOP DATABASE handler. Refuses (with an error reply) while another
// connection is on the same database (two without a database count as the
// same) or while this one has an open transaction. Otherwise it does not
// return and writes no reply.
void STOP_Database(int conn_id, const unsigned char* msg, int length);
