-- The three logins of the nightly transfer, each with only the rights its
-- connection uses. Run as a member of sysadmin (or of securityadmin, and
-- db_owner of the three databases) after changing the three passwords, then
-- build with the same names and passwords:
--
--   -DVELMORA_SOURCE_LOGIN=velmora_origem       -DVELMORA_SOURCE_PASSWORD=...
--   -DVELMORA_CONSULTA_LOGIN=velmora_consulta   -DVELMORA_CONSULTA_PASSWORD=...
--   -DVELMORA_ORGANISER_LOGIN=velmora_orgaos    -DVELMORA_ORGANISER_PASSWORD=...
--
-- A password cannot hold ";" nor begin or end with a blank (the connection
-- text could not carry it). The tables are assumed in the schema dbo.

USE master;
GO
CREATE LOGIN velmora_origem WITH PASSWORD = N'change-this-1',
    DEFAULT_DATABASE = Velmora, CHECK_POLICY = ON;
CREATE LOGIN velmora_consulta WITH PASSWORD = N'change-this-2',
    DEFAULT_DATABASE = consulta_tessarin, CHECK_POLICY = ON;
CREATE LOGIN velmora_orgaos WITH PASSWORD = N'change-this-3',
    DEFAULT_DATABASE = CALVERIN, CHECK_POLICY = ON;
GO

-- Source database: reads the intern tables, writes one run-log row a night
-- (insert at the start, update at the end; velmora-ctl status reads it).
USE Velmora;
GO
CREATE USER velmora_origem FOR LOGIN velmora_origem WITH DEFAULT_SCHEMA = dbo;
GRANT SELECT ON dbo.vlmr_estagiario TO velmora_origem;
GRANT SELECT ON dbo.vlmr_concurso TO velmora_origem;
GRANT SELECT ON dbo.vlmr_bolsaauxilio TO velmora_origem;
GRANT SELECT ON dbo.vlmr_estagiariodesignacao TO velmora_origem;
GRANT SELECT ON dbo.vlmr_estagiariointerrupcao TO velmora_origem;
GRANT SELECT ON dbo.vlmr_pagamento TO velmora_origem;
GRANT SELECT, INSERT, UPDATE ON dbo.vlmr_logtransferencia TO velmora_origem;
GO

-- Consultation database: the night snapshots cons_estagiario and
-- cons_pagamento with SELECT ... INTO (new tables), empties and refills
-- them, drops old snapshots, and after a failure drops the two tables and
-- re-creates them from the snapshots. Tables it creates are new objects, so
-- the rights are given on the schema, where they hold for every table in it;
-- ALTER on the schema is what lets it drop them. It reads
-- INFORMATION_SCHEMA.TABLES for the snapshots, and inserts and updates
-- cons_estagiarioelogio (covered by the schema's rights).
-- Logins of the consultation site lose rights given on cons_estagiario or
-- cons_pagamento themselves whenever a table is re-created: give them
-- SELECT on the schema too.
USE consulta_tessarin;
GO
CREATE USER velmora_consulta FOR LOGIN velmora_consulta WITH DEFAULT_SCHEMA = dbo;
GRANT CREATE TABLE TO velmora_consulta;
GRANT ALTER, SELECT, INSERT, UPDATE, DELETE ON SCHEMA::dbo TO velmora_consulta;
GO

-- Organiser catalog: the unit look-up reads two tables.
USE CALVERIN;
GO
CREATE USER velmora_orgaos FOR LOGIN velmora_orgaos WITH DEFAULT_SCHEMA = dbo;
GRANT SELECT ON dbo.orgaos TO velmora_orgaos;
GRANT SELECT ON dbo.gruposorgaos TO velmora_orgaos;
GO
