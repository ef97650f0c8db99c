-- A large suite database: 10^4 stations with 10 sensors each, a catalogue of 10^5 rows, over
-- 40 basins (every fiftieth station without one) and the other attributes in a few hundred
-- values, every seventh station without a primary channel. Loaded after the example schema;
-- plain SQL for SQLite and PostgreSQL.
INSERT INTO OV_SITES (STATION_ID, STATION_NAME, REPORTING_INTERVAL, BASIN, DISTRICT, CITY, COUNTY,
                      STATE, COUNTRY, PRIMARY_CHANNEL, RANDOM_CHANNEL, STATUS)
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000)
SELECT 'ST' || i, 'Station ' || i, 60,
       CASE WHEN i % 50 = 0 THEN NULL ELSE 'Basin ' || (i % 40) END,
       'District ' || (i % 12), 'City ' || (i % 300), 'County ' || (i % 90), 'State ' || (i % 9),
       'Country ' || (i % 3), CASE WHEN i % 7 = 0 THEN NULL ELSE i % 200 END, i % 250, 'A'
FROM n;

INSERT INTO OV_SITESENSORS (STE_STATION_ID, SENSORNAME, DESCRIPTION, UNITS)
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 10000),
               s(j) AS (SELECT 1 UNION ALL SELECT j + 1 FROM s WHERE j < 10)
SELECT 'ST' || i, 'SN' || j, 'Sensor ' || j, 'm' FROM n, s;
