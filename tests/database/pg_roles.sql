-- Roles of the test server that log in with a password (the owner "ov" needs none): one with
-- a plain password, one whose password holds the characters that end or brace an ODBC
-- connection attribute.
CREATE ROLE guard LOGIN PASSWORD 'right';
CREATE ROLE semi LOGIN PASSWORD 'se;c}ret';
GRANT SELECT ON OV_SITES, OV_SITESENSORS TO guard, semi;
