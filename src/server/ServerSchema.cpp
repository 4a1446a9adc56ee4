#include "ServerSchema.h"

#include <array>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ExtensionTables.h"

namespace quil::server {
namespace {

// Schema 1: master items and records keep their file bytes (raw) beside the columns the
// server sorts and filters by, so that a data folder pushed and pulled again comes back
// byte for byte. Every row carries a version for optimistic concurrency; quil_saves keeps
// the answer of every save by its key, so that a save sent twice is done once.
constexpr const char* kSchema1 = R"SQL(
CREATE TABLE quil_schema (
    version integer NOT NULL,
    written_by text NOT NULL,
    changed_at timestamptz NOT NULL DEFAULT now()
);
CREATE TABLE quil_files (
    name text PRIMARY KEY,
    present boolean NOT NULL
);
CREATE TABLE quil_items (
    position integer PRIMARY KEY CHECK (position >= 0),
    kind smallint NOT NULL,
    deleted boolean NOT NULL,
    name text NOT NULL,
    raw bytea NOT NULL CHECK (octet_length(raw) = 128),
    version bigint NOT NULL DEFAULT 1
);
CREATE SEQUENCE quil_entry_seq;
CREATE TABLE quil_records (
    id bigserial PRIMARY KEY,
    entry bigint NOT NULL DEFAULT nextval('quil_entry_seq'),
    date double precision NOT NULL,
    vehicle smallint NOT NULL,
    user_no smallint NOT NULL,
    kind smallint NOT NULL,
    deleted boolean NOT NULL,
    raw bytea NOT NULL CHECK (octet_length(raw) = 256),
    version bigint NOT NULL DEFAULT 1
);
CREATE INDEX quil_records_order ON quil_records (date, vehicle, user_no, entry);
-- The list's own: live records in its order with what it filters by, read from the index
-- alone.
CREATE INDEX quil_records_list ON quil_records (date, vehicle, user_no, entry)
    INCLUDE (id, kind) WHERE NOT deleted;
CREATE TABLE quil_saves (
    key text PRIMARY KEY CHECK (length(key) BETWEEN 16 AND 64),
    target bigint,
    version bigint,
    saved_at timestamptz NOT NULL DEFAULT now()
);

-- Every change is announced on quil_changes: "r <op> <id> <version>" for records,
-- "i <op> <position> <version>" for items. A bulk load sets quil.bulk and announces once.
CREATE FUNCTION quil_announce_record() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'r ' || lower(TG_OP) || ' ' || NEW.id || ' ' || NEW.version);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_records_announce AFTER INSERT OR UPDATE ON quil_records
    FOR EACH ROW EXECUTE FUNCTION quil_announce_record();
CREATE FUNCTION quil_announce_item() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes',
                      'i ' || lower(TG_OP) || ' ' || NEW.position || ' ' || NEW.version);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_items_announce AFTER INSERT OR UPDATE ON quil_items
    FOR EACH ROW EXECUTE FUNCTION quil_announce_item();

DO $$
DECLARE r text;
BEGIN
    FOREACH r IN ARRAY ARRAY['quil_viewer', 'quil_clerk', 'quil_admin'] LOOP
        BEGIN
            EXECUTE format('CREATE ROLE %I NOLOGIN', r);
        EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
        END;
    END LOOP;
END $$;
GRANT quil_viewer TO quil_clerk;
GRANT quil_clerk TO quil_admin;
GRANT quil_viewer, quil_clerk TO quil_admin WITH ADMIN OPTION;

REVOKE ALL ON quil_schema, quil_files, quil_items, quil_records, quil_saves FROM PUBLIC;
GRANT SELECT ON quil_schema, quil_files, quil_items, quil_records TO quil_viewer;
GRANT INSERT, UPDATE ON quil_items, quil_records TO quil_clerk;
GRANT SELECT, INSERT, UPDATE ON quil_saves TO quil_clerk;
GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq TO quil_clerk;
GRANT ALL ON quil_schema, quil_files, quil_items, quil_records, quil_saves TO quil_admin;
GRANT ALL ON SEQUENCE quil_entry_seq, quil_records_id_seq TO quil_admin;
)SQL";

// Schema 2: the extensions' file QuilExt.db (the alcohol-check register, detectors,
// maintenance cycles) travels with the data set, kept whole, so that push and pull do not
// leave it behind.
constexpr const char* kSchema2 = R"SQL(
CREATE TABLE quil_extension_file (
    name text PRIMARY KEY,
    bytes bytea NOT NULL,
    version bigint NOT NULL DEFAULT 1
);
REVOKE ALL ON quil_extension_file FROM PUBLIC;
GRANT SELECT ON quil_extension_file TO quil_viewer;
GRANT INSERT, UPDATE ON quil_extension_file TO quil_clerk;
GRANT ALL ON quil_extension_file TO quil_admin;
)SQL";

// Schema 3: the answers of old saves are removed by the programs that save (a save is
// repeated within seconds, not months).
constexpr const char* kSchema3 = R"SQL(
GRANT DELETE ON quil_saves TO quil_clerk;
CREATE INDEX quil_saves_age ON quil_saves (saved_at);
)SQL";

// Schema 4: the alcohol-check register and the analysis settings as tables of their own
// (the columns of QuilExt.db's), for every program on the data set and, later, for pages
// where drivers enter their own checks. Checks and detectors carry a version. A change is
// announced on quil_changes as "e checks", "e detectors" (with the register's settings) or
// "e cycles" (the analysis settings) by row triggers, so that a statement that changes
// nothing (a refused edit) says nothing, while the server sends the same text once per
// transaction however many rows it changed. A QuilExt.db kept whole by schema 2 is moved
// into the tables in the same transaction.
constexpr const char* kSchema4 = R"SQL(
CREATE TABLE quil_alcohol_detector (
    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    name text NOT NULL,
    serial text NOT NULL DEFAULT '',
    in_use_since double precision NOT NULL DEFAULT 0,
    last_inspection double precision NOT NULL DEFAULT 0,
    retired boolean NOT NULL DEFAULT false,
    version bigint NOT NULL DEFAULT 1
);
CREATE TABLE quil_alcohol_check (
    id bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,
    checked_at double precision NOT NULL,
    timing integer NOT NULL,
    driver integer NOT NULL,
    vehicle integer NOT NULL,
    checker text NOT NULL,
    method integer NOT NULL,
    method_text text NOT NULL DEFAULT '',
    detector bigint,
    reading double precision,
    intoxicated boolean NOT NULL,
    instructions text NOT NULL DEFAULT '',
    remarks text NOT NULL DEFAULT '',
    deleted boolean NOT NULL DEFAULT false,
    deleted_by text NOT NULL DEFAULT '',
    deleted_at double precision NOT NULL DEFAULT 0,
    version bigint NOT NULL DEFAULT 1
);
CREATE INDEX quil_alcohol_check_time ON quil_alcohol_check (checked_at, id);
CREATE INDEX quil_alcohol_check_detector ON quil_alcohol_check (detector)
    WHERE detector IS NOT NULL;
CREATE TABLE quil_alcohol_setting (
    key text PRIMARY KEY,
    value text NOT NULL
);
CREATE TABLE quil_analysis_cycle (
    item integer PRIMARY KEY,
    months integer NOT NULL DEFAULT 0,
    km integer NOT NULL DEFAULT 0,
    first_months integer NOT NULL DEFAULT 0
);
CREATE TABLE quil_analysis_setting (
    key text PRIMARY KEY,
    value text NOT NULL
);

CREATE FUNCTION quil_announce_extension() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'e ' || TG_ARGV[0]);
    RETURN NULL;
END $$;
CREATE TRIGGER quil_alcohol_check_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_check
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('checks');
CREATE TRIGGER quil_alcohol_detector_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_detector
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('detectors');
CREATE TRIGGER quil_alcohol_setting_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_alcohol_setting
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('detectors');
CREATE TRIGGER quil_analysis_cycle_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_analysis_cycle
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('cycles');
CREATE TRIGGER quil_analysis_setting_announce
    AFTER INSERT OR UPDATE OR DELETE ON quil_analysis_setting
    FOR EACH ROW EXECUTE FUNCTION quil_announce_extension('cycles');

REVOKE ALL ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting FROM PUBLIC;
GRANT SELECT ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting TO quil_viewer;
-- Checks are never removed (a deleted one stays with who and when); detectors no check
-- refers to are, and the cycles are replaced whole.
GRANT INSERT, UPDATE ON quil_alcohol_check, quil_alcohol_setting, quil_analysis_setting
    TO quil_clerk;
GRANT INSERT, UPDATE, DELETE ON quil_alcohol_detector, quil_analysis_cycle TO quil_clerk;
GRANT USAGE ON SEQUENCE quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO quil_clerk;
GRANT ALL ON quil_alcohol_check, quil_alcohol_detector, quil_alcohol_setting,
    quil_analysis_cycle, quil_analysis_setting TO quil_admin;
GRANT ALL ON SEQUENCE quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO quil_admin;
)SQL";

// Schema 5: the drivers' web accounts, for a page where drivers enter their own checks and
// drives. A login belongs to one user item (quil_items position, checked by the program:
// a restore replaces the items, so no foreign key); its password is kept as an Argon2id
// hash, its sessions by a hash of their token, never the token. Failed logins are counted
// per account (lock) and per address (quil_web_login_attempt); every write is logged with
// who, when and from where. The group role quil_web (its service's login joins it) reads
// and writes only what a login needs; the program's 事務 and 閲覧 see none of it.
constexpr const char* kSchema5 = R"SQL(
CREATE TABLE quil_web_account (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    login text NOT NULL UNIQUE CHECK (login = lower(login) AND length(login) BETWEEN 1 AND 32),
    driver integer NOT NULL UNIQUE CHECK (driver >= 0),
    password_hash text NOT NULL CHECK (password_hash LIKE '$argon2id$%'),
    disabled boolean NOT NULL DEFAULT false,
    must_change_password boolean NOT NULL DEFAULT true,
    failed_attempts integer NOT NULL DEFAULT 0 CHECK (failed_attempts >= 0),
    locked_until timestamptz,
    created_at timestamptz NOT NULL,
    changed_at timestamptz NOT NULL
);
CREATE TABLE quil_web_session (
    token_hash bytea PRIMARY KEY CHECK (octet_length(token_hash) = 32),
    account bigint NOT NULL REFERENCES quil_web_account (id) ON DELETE CASCADE,
    created_at timestamptz NOT NULL,
    last_seen timestamptz NOT NULL,
    csrf_secret bytea NOT NULL CHECK (octet_length(csrf_secret) = 32)
);
CREATE INDEX quil_web_session_account ON quil_web_session (account);
CREATE INDEX quil_web_session_seen ON quil_web_session (last_seen);
CREATE TABLE quil_web_login_attempt (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    address text NOT NULL CHECK (length(address) BETWEEN 1 AND 100),
    login text NOT NULL,
    attempted_at timestamptz NOT NULL,
    succeeded boolean NOT NULL
);
CREATE INDEX quil_web_login_attempt_address ON quil_web_login_attempt (address, attempted_at)
    WHERE NOT succeeded;
CREATE INDEX quil_web_login_attempt_age ON quil_web_login_attempt (attempted_at);
CREATE TABLE quil_web_log (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    at timestamptz NOT NULL,
    account bigint,
    actor text NOT NULL,
    address text NOT NULL,
    action text NOT NULL
);
CREATE INDEX quil_web_log_at ON quil_web_log (at);

-- Roles belong to the cluster: another data set may have made this one already, and then
-- an owner without the right to create roles upgrades too.
DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'quil_web') THEN
        BEGIN
            CREATE ROLE quil_web NOLOGIN;
        EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL;
        END;
    END IF;
    IF NOT EXISTS (SELECT 1 FROM pg_auth_members
                   WHERE roleid = 'quil_web'::regrole AND member = 'quil_admin'::regrole
                     AND admin_option) THEN
        GRANT quil_web TO quil_admin WITH ADMIN OPTION;
    END IF;
END $$;

REVOKE ALL ON quil_web_account, quil_web_session, quil_web_login_attempt, quil_web_log
    FROM PUBLIC;
GRANT ALL ON quil_web_account, quil_web_session, quil_web_login_attempt, quil_web_log
    TO quil_admin;
GRANT SELECT ON quil_schema, quil_items TO quil_web;
GRANT SELECT, UPDATE (failed_attempts, locked_until, password_hash, must_change_password,
    changed_at) ON quil_web_account TO quil_web;
GRANT SELECT, INSERT, DELETE, UPDATE (last_seen) ON quil_web_session TO quil_web;
GRANT SELECT, INSERT, DELETE, UPDATE (succeeded) ON quil_web_login_attempt TO quil_web;
-- The log is written, never read or changed, by the service.
GRANT INSERT ON quil_web_log TO quil_web;
)SQL";

// Schema 6: a driver on the web page sees and adds only his own checks and drives, enforced
// by the server's row-level security, not by the page. The service hands its session's
// token over in the transaction's setting quil.web_token; quil_web_driver() (running as
// the data set's owner, who may read the sessions) gives the driver that token belongs
// to, NULL for none or a disabled account. The office's roles see every row as before;
// the owner is not subject to the policies, nor is COPY from a role that bypasses them.
// A drive's bytes must say what its columns say (user and kind), so the service cannot
// slip another driver's record in under its own columns.
constexpr const char* kSchema6 = R"SQL(
CREATE FUNCTION quil_web_driver() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public, pg_temp AS $$
    SELECT a.driver FROM quil_web_session s JOIN quil_web_account a ON a.id = s.account
     WHERE s.token_hash = sha256(decode(current_setting('quil.web_token', true), 'hex'))
       AND NOT a.disabled
$$;
REVOKE ALL ON FUNCTION quil_web_driver() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION quil_web_driver() TO quil_web;

ALTER TABLE quil_records ENABLE ROW LEVEL SECURITY;
ALTER TABLE quil_alcohol_check ENABLE ROW LEVEL SECURITY;
-- quil_clerk and quil_admin are members of quil_viewer, so this covers the office.
CREATE POLICY quil_office ON quil_records TO quil_viewer USING (true) WITH CHECK (true);
CREATE POLICY quil_office ON quil_alcohol_check TO quil_viewer USING (true) WITH CHECK (true);
-- The sub-selects are evaluated once per statement, not once per row.
CREATE POLICY quil_web_read ON quil_records FOR SELECT TO quil_web
    USING (kind = 0 AND user_no = (SELECT quil_web_driver()));
CREATE POLICY quil_web_add ON quil_records FOR INSERT TO quil_web
    WITH CHECK (kind = 0 AND NOT deleted AND user_no = (SELECT quil_web_driver())
                AND (get_byte(raw, 31) << 8 | get_byte(raw, 30)) = user_no
                AND get_byte(raw, 14) = 0 AND get_byte(raw, 15) = 0
                AND get_byte(raw, 16) = 0);
CREATE POLICY quil_web_read ON quil_alcohol_check FOR SELECT TO quil_web
    USING (driver = (SELECT quil_web_driver()));
CREATE POLICY quil_web_add ON quil_alcohol_check FOR INSERT TO quil_web
    WITH CHECK (NOT deleted AND driver = (SELECT quil_web_driver()));

GRANT SELECT, INSERT ON quil_records, quil_alcohol_check TO quil_web;
GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, quil_alcohol_check_id_seq
    TO quil_web;
GRANT SELECT ON quil_alcohol_detector, quil_alcohol_setting TO quil_web;
-- A form posted twice is stored once: its save key, as the office's saves keep theirs.
GRANT SELECT, INSERT ON quil_saves TO quil_web;
)SQL";

// Schema 7: every data set has roles of its own, so that a login of one data set reaches
// no other on the same server, and no login of this program holds a power over the server.
// The group roles are named quil_<database>_<kind> (quil_group(kind)): admin (管理者),
// clerk (事務), viewer (閲覧) and web (the drivers' service); only their members may connect
// to the database. Accounts are made and changed only through the quil_account_* functions,
// which run as quil_<database>_accounts: a role that cannot log in and that nobody is a
// member of, the only one here allowed to create roles. They check every name, touch only
// accounts that belong to this data set alone and give only its three office roles. The
// roles shared by every data set before (quil_admin, quil_clerk, quil_viewer, quil_web)
// lose their rights here; their members are given this data set's roles instead, and its
// administrators lose the right to create roles. Every record row's columns must say what
// its bytes say (kind, deleted, date, vehicle, user), for every role; rows stored before
// are not checked again. The drivers' service hands over the SHA-256 of its session's
// token in quil.web_session (hex), which is what the sessions table keeps: the token never
// reaches the server, nor its log.
constexpr const char* kSchema7 = R"SQL(
CREATE FUNCTION quil_group(kind text) RETURNS text
    LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
    SELECT 'quil_' || CASE WHEN current_database() ~ '^[a-z][a-z0-9_]{0,39}$'
                           THEN current_database()
                           ELSE 'x' || left(md5(current_database()), 16) || '-' END
           || '_' || kind
$$;

DO $$
DECLARE
    k text;
    g text;
    m record;
    upgrading boolean := EXISTS (SELECT 1 FROM quil_schema);
BEGIN
    FOREACH k IN ARRAY ARRAY['viewer', 'clerk', 'admin', 'web', 'accounts'] LOOP
        g := quil_group(k);
        IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = g) THEN
            RAISE EXCEPTION 'role % exists already', g USING ERRCODE = 'duplicate_object';
        END IF;
        EXECUTE format('CREATE ROLE %I NOLOGIN', g);
    END LOOP;
    EXECUTE format('ALTER ROLE %I CREATEROLE', quil_group('accounts'));
    EXECUTE format('GRANT %I TO %I', quil_group('viewer'), quil_group('clerk'));
    EXECUTE format('GRANT %I TO %I', quil_group('clerk'), quil_group('admin'));

    EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', current_database());
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO %I, %I', current_database(),
                   quil_group('viewer'), quil_group('web'));
    -- A push by an administrator stages its records in a temporary table.
    EXECUTE format('GRANT TEMPORARY ON DATABASE %I TO %I', current_database(),
                   quil_group('admin'));

    -- The same rights as the shared roles had, given to this data set's roles.
    EXECUTE format('GRANT SELECT ON quil_schema, quil_files, quil_items, quil_records, '
                   'quil_extension_file, quil_alcohol_check, quil_alcohol_detector, '
                   'quil_alcohol_setting, quil_analysis_cycle, quil_analysis_setting TO %I',
                   quil_group('viewer'));
    EXECUTE format('GRANT INSERT, UPDATE ON quil_items, quil_records, quil_extension_file, '
                   'quil_alcohol_check, quil_alcohol_setting, quil_analysis_setting TO %I',
                   quil_group('clerk'));
    EXECUTE format('GRANT INSERT, UPDATE, DELETE ON quil_alcohol_detector, '
                   'quil_analysis_cycle TO %I', quil_group('clerk'));
    EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE ON quil_saves TO %I',
                   quil_group('clerk'));
    EXECUTE format('GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, '
                   'quil_alcohol_check_id_seq, quil_alcohol_detector_id_seq TO %I',
                   quil_group('clerk'));
    -- Not TRIGGER nor REFERENCES: nothing an administrator adds runs as someone else.
    EXECUTE format('GRANT SELECT, INSERT, UPDATE, DELETE, TRUNCATE ON ALL TABLES IN SCHEMA '
                   'public TO %I', quil_group('admin'));
    EXECUTE format('GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO %I', quil_group('admin'));
    EXECUTE format('GRANT SELECT ON quil_schema, quil_items, quil_alcohol_detector, '
                   'quil_alcohol_setting TO %I', quil_group('web'));
    EXECUTE format('GRANT SELECT, UPDATE (failed_attempts, locked_until, password_hash, '
                   'must_change_password, changed_at) ON quil_web_account TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT, DELETE, UPDATE (last_seen) ON quil_web_session TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT, DELETE, UPDATE (succeeded) '
                   'ON quil_web_login_attempt TO %I', quil_group('web'));
    EXECUTE format('GRANT INSERT ON quil_web_log TO %I', quil_group('web'));
    EXECUTE format('GRANT SELECT, INSERT ON quil_records, quil_alcohol_check, quil_saves TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT USAGE ON SEQUENCE quil_entry_seq, quil_records_id_seq, '
                   'quil_alcohol_check_id_seq TO %I', quil_group('web'));
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_web_driver() TO %I', quil_group('web'));
    EXECUTE format('ALTER POLICY quil_office ON quil_records TO %I', quil_group('viewer'));
    EXECUTE format('ALTER POLICY quil_office ON quil_alcohol_check TO %I', quil_group('viewer'));
    FOREACH k IN ARRAY ARRAY['quil_records', 'quil_alcohol_check'] LOOP
        EXECUTE format('ALTER POLICY quil_web_read ON %I TO %I', k, quil_group('web'));
        EXECUTE format('ALTER POLICY quil_web_add ON %I TO %I', k, quil_group('web'));
    END LOOP;

    -- The shared roles keep nothing here. Their members (accounts of this data set as much
    -- as of any other) are given this data set's roles when an existing data set is
    -- upgraded, not when a new one is made.
    FOREACH k IN ARRAY ARRAY['viewer', 'clerk', 'admin', 'web'] LOOP
        g := 'quil_' || k;
        CONTINUE WHEN NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = g);
        EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %I', g);
        EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM %I', g);
        EXECUTE format('REVOKE ALL ON FUNCTION quil_web_driver() FROM %I', g);
        EXECUTE format('REVOKE ALL ON DATABASE %I FROM %I', current_database(), g);
        CONTINUE WHEN NOT upgrading;
        FOR m IN SELECT r.rolname, r.rolsuper, r.rolcreaterole FROM pg_auth_members a
                   JOIN pg_roles r ON r.oid = a.member
                  WHERE a.roleid = g::regrole
                    AND r.rolname NOT IN ('quil_admin', 'quil_clerk', 'quil_viewer', 'quil_web')
                  LOOP
            EXECUTE format('GRANT %I TO %I', quil_group(k), m.rolname);
            IF k = 'admin' AND NOT m.rolsuper AND m.rolcreaterole AND m.rolname <> current_user
            THEN
                EXECUTE format('ALTER ROLE %I NOCREATEROLE', m.rolname);
            END IF;
        END LOOP;
    END LOOP;
END $$;

-- An account this data set's administrators may change: a login of this data set's office
-- roles and of nothing else, with no power over the server, not the database's owner.
CREATE FUNCTION quil_account_target(account text) RETURNS void
    LANGUAGE plpgsql STABLE SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    r pg_roles;
    office oid[] := ARRAY(SELECT oid FROM pg_roles WHERE rolname IN (
        public.quil_group('admin'), public.quil_group('clerk'), public.quil_group('viewer')));
    -- The roles every data set shared before: they hold no rights once upgraded.
    shared oid[] := ARRAY(SELECT oid FROM pg_roles WHERE rolname IN (
        'quil_admin', 'quil_clerk', 'quil_viewer', 'quil_web'));
BEGIN
    SELECT * INTO r FROM pg_roles WHERE rolname = account;
    IF NOT FOUND OR r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication
       OR r.rolbypassrls OR account LIKE 'pg\_%' OR account LIKE 'quil\_%'
       OR r.oid = (SELECT datdba FROM pg_database WHERE datname = current_database())
       OR NOT EXISTS (SELECT 1 FROM pg_auth_members WHERE member = r.oid AND roleid = ANY (office))
       OR EXISTS (SELECT 1 FROM pg_auth_members WHERE member = r.oid
                   AND roleid <> ALL (office) AND roleid <> ALL (shared))
       OR EXISTS (SELECT 1 FROM pg_auth_members WHERE roleid = r.oid) THEN
        RAISE EXCEPTION 'account % is not one of this data set''s', account
            USING ERRCODE = 'insufficient_privilege';
    END IF;
END $$;

CREATE FUNCTION quil_account_kind(kind text) RETURNS text
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF kind IS NULL OR kind NOT IN ('admin', 'clerk', 'viewer') THEN
        RAISE EXCEPTION 'no such role' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    RETURN kind;
END $$;

CREATE FUNCTION quil_account_password(password_hash text) RETURNS text
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    -- Only a SCRAM hash: a password in clear would reach the server's log.
    IF password_hash IS NULL OR password_hash !~ '^SCRAM-SHA-256\$[0-9]+:[A-Za-z0-9+/=]+\$[A-Za-z0-9+/=]+:[A-Za-z0-9+/=]+$' THEN
        RAISE EXCEPTION 'not a SCRAM-SHA-256 hash' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    RETURN password_hash;
END $$;

CREATE FUNCTION quil_account_add(account text, password_hash text, kind text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF account IS NULL OR account !~ '^[A-Za-z][A-Za-z0-9_.-]{0,62}$'
       OR account LIKE 'pg\_%' OR account LIKE 'quil\_%' THEN
        RAISE EXCEPTION 'bad account name' USING ERRCODE = 'invalid_name';
    END IF;
    IF EXISTS (SELECT 1 FROM pg_roles WHERE rolname = account) THEN
        RAISE EXCEPTION 'role % exists', account USING ERRCODE = 'duplicate_object';
    END IF;
    EXECUTE format('CREATE ROLE %I LOGIN NOSUPERUSER NOCREATEDB NOCREATEROLE NOREPLICATION '
                   'NOBYPASSRLS INHERIT PASSWORD %L', account,
                   public.quil_account_password(password_hash));
    EXECUTE format('GRANT %I TO %I', public.quil_group(public.quil_account_kind(kind)), account);
END $$;

CREATE FUNCTION quil_account_set_role(account text, kind text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    k text;
BEGIN
    PERFORM public.quil_account_kind(kind);
    PERFORM public.quil_account_target(account);
    IF account = session_user THEN
        RAISE EXCEPTION 'own account' USING ERRCODE = 'insufficient_privilege';
    END IF;
    FOREACH k IN ARRAY ARRAY['admin', 'clerk', 'viewer'] LOOP
        IF k <> kind THEN EXECUTE format('REVOKE %I FROM %I', public.quil_group(k), account);
        END IF;
    END LOOP;
    EXECUTE format('GRANT %I TO %I', public.quil_group(kind), account);
END $$;

CREATE FUNCTION quil_account_set_password(account text, password_hash text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM public.quil_account_target(account);
    EXECUTE format('ALTER ROLE %I PASSWORD %L', account,
                   public.quil_account_password(password_hash));
END $$;

CREATE FUNCTION quil_account_set_login(account text, can_log_in boolean) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM public.quil_account_target(account);
    IF account = session_user THEN
        RAISE EXCEPTION 'own account' USING ERRCODE = 'insufficient_privilege';
    END IF;
    EXECUTE format(CASE WHEN can_log_in THEN 'ALTER ROLE %I LOGIN' ELSE 'ALTER ROLE %I NOLOGIN' END,
                   account);
END $$;

-- The record's columns against its bytes (little-endian: kind at 14, deleted at 16, date at
-- 20, vehicle at 28, user at 30).
ALTER TABLE quil_records ADD CONSTRAINT quil_records_match_raw CHECK (
    get_byte(raw, 14) = get_byte(int2send(kind), 1) AND get_byte(raw, 15) = get_byte(int2send(kind), 0)
    AND deleted = (get_byte(raw, 16) <> 0)
    AND get_byte(raw, 20) = get_byte(float8send(date), 7)
    AND get_byte(raw, 21) = get_byte(float8send(date), 6)
    AND get_byte(raw, 22) = get_byte(float8send(date), 5)
    AND get_byte(raw, 23) = get_byte(float8send(date), 4)
    AND get_byte(raw, 24) = get_byte(float8send(date), 3)
    AND get_byte(raw, 25) = get_byte(float8send(date), 2)
    AND get_byte(raw, 26) = get_byte(float8send(date), 1)
    AND get_byte(raw, 27) = get_byte(float8send(date), 0)
    AND get_byte(raw, 28) = get_byte(int2send(vehicle), 1)
    AND get_byte(raw, 29) = get_byte(int2send(vehicle), 0)
    AND get_byte(raw, 30) = get_byte(int2send(user_no), 1)
    AND get_byte(raw, 31) = get_byte(int2send(user_no), 0)) NOT VALID;

CREATE OR REPLACE FUNCTION quil_web_driver() RETURNS integer
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = public, pg_temp AS $$
    SELECT a.driver FROM quil_web_session s JOIN quil_web_account a ON a.id = s.account
     WHERE s.token_hash = decode(current_setting('quil.web_session', true), 'hex')
       AND NOT a.disabled
$$;

-- The account functions run as the accounts role; only administrators and the owner may
-- call them.
DO $$
DECLARE
    f text;
    keeper text := quil_group('accounts');
    su boolean := (SELECT rolsuper FROM pg_roles WHERE rolname = current_user);
BEGIN
    IF NOT su THEN EXECUTE format('GRANT %I TO %I', keeper, current_user); END IF;
    EXECUTE format('GRANT CREATE ON SCHEMA public TO %I', keeper);
    FOREACH f IN ARRAY ARRAY['quil_account_add(text, text, text)',
                             'quil_account_set_role(text, text)',
                             'quil_account_set_password(text, text)',
                             'quil_account_set_login(text, boolean)'] LOOP
        EXECUTE format('ALTER FUNCTION %s OWNER TO %I', f, keeper);
        EXECUTE format('REVOKE ALL ON FUNCTION %s FROM PUBLIC', f);
        EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f, quil_group('admin'));
        -- The data set's owner manages its accounts too.
        IF NOT su THEN EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f, current_user);
        END IF;
    END LOOP;
    EXECUTE format('REVOKE CREATE ON SCHEMA public FROM %I', keeper);
    IF NOT su THEN EXECUTE format('REVOKE %I FROM %I', keeper, current_user); END IF;
END $$;
)SQL";

// Schema 8: a login stays bound to the person it was made for. driver_name keeps the name
// of the user at its position when it was made or last confirmed; after a restore, an
// import or a renaming puts another name there, the login is refused until an
// administrator confirms it. A login attempt is pending while its password is verified,
// so that failures are counted per login and address apart from attempts still under way.
constexpr const char* kSchema8 = R"SQL(
ALTER TABLE quil_web_account ADD COLUMN driver_name text;
UPDATE quil_web_account a SET driver_name = i.name FROM quil_items i
 WHERE i.position = a.driver;
ALTER TABLE quil_web_login_attempt ADD COLUMN pending boolean NOT NULL DEFAULT false;
CREATE INDEX quil_web_login_attempt_pair ON quil_web_login_attempt (login, address, attempted_at);
DO $$
BEGIN
    EXECUTE format('GRANT UPDATE (pending) ON quil_web_login_attempt TO %I',
                   quil_group('web'));
END $$;
)SQL";

// Schema 9: what changed is read from the server, not taken from the announcements, which
// any login may send. Every record and item row takes the next value of quil_change_seq in
// `changed` when it is written; a program asks for the rows beyond the last value it saw.
// quil_change_counter holds, for a replaced data set and for each part of the register,
// the sequence's value at its last change. The announcements carry these values, so that
// a program knows its own changes apart from others'. The stamping functions run as the
// data set's owner: no role needs the sequence or may write a value of its own choosing.
constexpr const char* kSchema9 = R"SQL(
CREATE SEQUENCE quil_change_seq;
ALTER TABLE quil_records ADD COLUMN changed bigint NOT NULL DEFAULT 0;
ALTER TABLE quil_items ADD COLUMN changed bigint NOT NULL DEFAULT 0;
CREATE INDEX quil_records_changed ON quil_records (changed);
CREATE INDEX quil_items_changed ON quil_items (changed);
CREATE TABLE quil_change_counter (
    what text PRIMARY KEY,
    changed bigint NOT NULL DEFAULT 0
);
INSERT INTO quil_change_counter (what) VALUES ('replaced'), ('checks'), ('detectors'), ('cycles');

CREATE FUNCTION quil_stamp_change() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
    NEW.changed := nextval('quil_change_seq');
    RETURN NEW;
END $$;
CREATE TRIGGER quil_records_stamp BEFORE INSERT OR UPDATE ON quil_records
    FOR EACH ROW EXECUTE FUNCTION quil_stamp_change();
CREATE TRIGGER quil_items_stamp BEFORE INSERT OR UPDATE ON quil_items
    FOR EACH ROW EXECUTE FUNCTION quil_stamp_change();

CREATE FUNCTION quil_count_change(part text) RETURNS bigint
    LANGUAGE sql SECURITY DEFINER SET search_path = public, pg_temp AS $$
    UPDATE quil_change_counter SET changed = nextval('quil_change_seq') WHERE what = part
    RETURNING changed
$$;
REVOKE ALL ON FUNCTION quil_count_change(text) FROM PUBLIC;

CREATE OR REPLACE FUNCTION quil_announce_record() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'r ' || lower(TG_OP) || ' ' || NEW.id || ' ' || NEW.version
                                      || ' ' || NEW.changed);
    RETURN NULL;
END $$;
CREATE OR REPLACE FUNCTION quil_announce_item() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'i ' || lower(TG_OP) || ' ' || NEW.position || ' '
                                      || NEW.version || ' ' || NEW.changed);
    RETURN NULL;
END $$;
CREATE OR REPLACE FUNCTION quil_announce_extension() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    PERFORM pg_notify('quil_changes', 'e ' || TG_ARGV[0] || ' ' || quil_count_change(TG_ARGV[0]));
    RETURN NULL;
END $$;

-- What a program looks at when told of a change, in the caller's one snapshot (STABLE), its
-- plans kept for the session: the counters, the oldest and newest transactions still open,
-- and up to `most` records and items stamped past `after`.
CREATE FUNCTION quil_changes_since(after bigint, most bigint)
    RETURNS TABLE (o_kind integer, o_name text, o_a bigint, o_b bigint)
    LANGUAGE plpgsql STABLE SET search_path = public, pg_temp AS $$
BEGIN
    RETURN QUERY SELECT 0, c.what, c.changed, 0::bigint FROM quil_change_counter c;
    RETURN QUERY SELECT 1, ''::text, pg_snapshot_xmin(s)::text::bigint,
                        coalesce((SELECT max(x::text::bigint) FROM pg_snapshot_xip(s) x), 0)
                   FROM pg_current_snapshot() s;
    RETURN QUERY SELECT 2, ''::text, r.id, r.changed FROM quil_records r
                  WHERE r.changed > after ORDER BY r.changed LIMIT most;
    RETURN QUERY SELECT 3, ''::text, i.position::bigint, i.changed FROM quil_items i
                  WHERE i.changed > after ORDER BY i.changed LIMIT most;
END $$;

REVOKE ALL ON quil_change_counter FROM PUBLIC;
DO $$
BEGIN
    EXECUTE format('GRANT SELECT ON quil_change_counter TO %I', quil_group('viewer'));
    -- A push or restore says the data set was replaced.
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_count_change(text) TO %I',
                   quil_group('admin'));
END $$;
)SQL";

// Schema 10: the drivers' service holds no right on any table. It works only through the
// quil_web_* functions below, which run as the data set's owner, and a session starts only
// on a proof of the driver's password that the server checks itself. The proof is a step of
// a hash chain: for a login the server keeps the Argon2id salt and costs and
// head = SHA-256^left(seed), seed = SHA-256(Argon2id(password) || 'quil-web-chain' ||
// generation). A login presents SHA-256^(left-1)(seed), whose hash must be the head; it then
// becomes the head. Whatever reaches the server's log (the head when it is set, every proof
// presented) is thus no longer of use: the next login needs a value before it in the chain,
// which only the password gives. When a chain runs short the service hands over the head of
// the next generation with a right proof. An attempt is begun by quil_web_login_begin (its
// limits counted here, by the server's clock), which gives a nonce that one conclusion
// consumes. The Argon2id hashes kept before are converted: a hash string holds the raw
// Argon2id output, so drivers keep their passwords.
constexpr const char* kSchema10 = R"SQL(
CREATE TABLE quil_web_secret (secret bytea NOT NULL);
INSERT INTO quil_web_secret
    SELECT sha256(convert_to(gen_random_uuid()::text || gen_random_uuid()::text, 'UTF8'));
REVOKE ALL ON quil_web_secret FROM PUBLIC;

CREATE FUNCTION quil_web_chain(seed bytea, steps integer) RETURNS bytea
    LANGUAGE plpgsql IMMUTABLE STRICT SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    h bytea := seed;
BEGIN
    FOR i IN 1..steps LOOP h := sha256(h); END LOOP;
    RETURN h;
END $$;
REVOKE ALL ON FUNCTION quil_web_chain(bytea, integer) FROM PUBLIC;

CREATE FUNCTION quil_web_unbase64(t text) RETURNS bytea
    LANGUAGE sql IMMUTABLE STRICT SET search_path = pg_catalog, pg_temp AS $$
    SELECT decode(rpad(t, (length(t) + 3) / 4 * 4, '='), 'base64')
$$;
REVOKE ALL ON FUNCTION quil_web_unbase64(text) FROM PUBLIC;

ALTER TABLE quil_web_account ADD COLUMN kdf_ops integer, ADD COLUMN kdf_memory integer,
    ADD COLUMN salt bytea, ADD COLUMN chain_generation integer NOT NULL DEFAULT 0,
    ADD COLUMN chain_left integer, ADD COLUMN chain_head bytea;
UPDATE quil_web_account SET
    kdf_ops = substring(split_part(password_hash, '$', 4) from 't=([0-9]+)')::integer,
    kdf_memory = substring(split_part(password_hash, '$', 4) from 'm=([0-9]+)')::integer,
    salt = quil_web_unbase64(split_part(password_hash, '$', 5)),
    chain_left = 4096,
    chain_head = quil_web_chain(sha256(quil_web_unbase64(split_part(password_hash, '$', 6))
                                       || convert_to('quil-web-chain', 'UTF8') || int4send(0)),
                                4096);
ALTER TABLE quil_web_account DROP COLUMN password_hash, DROP COLUMN failed_attempts,
    DROP COLUMN locked_until,
    ALTER COLUMN kdf_ops SET NOT NULL, ALTER COLUMN kdf_memory SET NOT NULL,
    ALTER COLUMN salt SET NOT NULL, ALTER COLUMN chain_left SET NOT NULL,
    ALTER COLUMN chain_head SET NOT NULL,
    ADD CHECK (kdf_ops BETWEEN 1 AND 16 AND kdf_memory BETWEEN 8 AND 4194304),
    ADD CHECK (octet_length(salt) = 16 AND octet_length(chain_head) = 32),
    ADD CHECK (chain_left >= 0 AND chain_generation >= 0);
ALTER TABLE quil_web_login_attempt ADD COLUMN nonce bytea;
CREATE UNIQUE INDEX quil_web_login_attempt_nonce ON quil_web_login_attempt (nonce);
ALTER TABLE quil_web_session ADD COLUMN idle interval NOT NULL DEFAULT interval '30 minutes';

-- The account a session's token hash belongs to while it may be used, renewed by
-- quil_web_session only.
CREATE FUNCTION quil_web_session_of(token_hash bytea)
    RETURNS TABLE (o_account bigint, o_login text, o_driver integer, o_name text,
                   o_must_change boolean, o_csrf bytea)
    LANGUAGE sql STABLE SET search_path = pg_catalog, pg_temp AS $$
    SELECT a.id, a.login, a.driver, i.name, a.must_change_password, s.csrf_secret
      FROM public.quil_web_session s JOIN public.quil_web_account a ON a.id = s.account
      JOIN public.quil_items i ON i.position = a.driver
     WHERE s.token_hash = $1 AND s.last_seen > now() - s.idle AND NOT a.disabled
       AND i.kind = 2 AND NOT i.deleted AND i.name = a.driver_name
$$;
REVOKE ALL ON FUNCTION quil_web_session_of(bytea) FROM PUBLIC;

-- Whether a proof is the head or one of the few steps before it: right, but spent by an
-- attempt at the same time that concluded first. Anyone may compute these from the head, so
-- they only make the attempt begin again.
CREATE FUNCTION quil_web_spent(proof bytea, head bytea) RETURNS boolean
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    h bytea := head;
BEGIN
    FOR i IN 0..8 LOOP
        IF proof = h THEN RETURN true; END IF;
        h := sha256(h);
    END LOOP;
    RETURN false;
END $$;
REVOKE ALL ON FUNCTION quil_web_spent(bytea, bytea) FROM PUBLIC;

CREATE FUNCTION quil_web_check_address(address text) RETURNS void
    LANGUAGE plpgsql IMMUTABLE SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF address IS NULL OR address !~ '^[!-~]{1,100}$' THEN
        RAISE EXCEPTION 'bad address' USING ERRCODE = 'invalid_parameter_value';
    END IF;
END $$;
REVOKE ALL ON FUNCTION quil_web_check_address(text) FROM PUBLIC;

-- Begins a login attempt of `login` from `address`: status 'address' (too many failures
-- from the address) or 'locked' (too many of the login from it), with nothing recorded; else
-- 'ok' with a nonce, the Argon2id salt and costs and the chain's generation and length. An
-- unknown login gets a salt of its own that stays the same, and the costs of the newest
-- password. The attempt counts as a failure until a right proof concludes it.
CREATE FUNCTION quil_web_login_begin(login text, address text)
    RETURNS TABLE (o_status text, o_nonce bytea, o_ops integer, o_memory integer, o_salt bytea,
                   o_generation integer, o_left integer)
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    name text := CASE WHEN login ~ '^[a-z0-9][a-z0-9_.-]{0,31}$' THEN login ELSE '' END;
    a public.quil_web_account;
    failed bigint := 0;
    pending bigint := 0;
    n bytea;
BEGIN
    PERFORM public.quil_web_check_address(address);
    PERFORM pg_advisory_xact_lock(7190003, hashtext(address));
    IF (SELECT count(*) FROM public.quil_web_login_attempt t
         WHERE t.address = $2 AND NOT t.succeeded
           AND t.attempted_at > now() - interval '15 minutes') >= 20 THEN
        RETURN QUERY SELECT 'address', NULL::bytea, 0, 0, NULL::bytea, 0, 0;
        RETURN;
    END IF;
    IF name <> '' THEN
        -- The login's failures from this address since its last success there: another
        -- address's failures never lock a driver out of his own.
        SELECT count(*) FILTER (WHERE NOT t.pending
                                   OR t.attempted_at <= now() - interval '120 seconds'),
               count(*) FILTER (WHERE t.pending AND t.attempted_at > now() - interval '120 seconds')
          INTO failed, pending
          FROM public.quil_web_login_attempt t
         WHERE t.login = name AND t.address = $2 AND NOT t.succeeded
           AND t.attempted_at > now() - interval '15 minutes'
           AND t.id > coalesce((SELECT max(s.id) FROM public.quil_web_login_attempt s
                                 WHERE s.login = name AND s.address = $2 AND s.succeeded), 0);
        IF failed >= 5 OR failed + pending >= 8 THEN
            RETURN QUERY SELECT 'locked', NULL::bytea, 0, 0, NULL::bytea, 0, 0;
            RETURN;
        END IF;
    END IF;
    n := sha256(convert_to(gen_random_uuid()::text || gen_random_uuid()::text, 'UTF8'));
    INSERT INTO public.quil_web_login_attempt (address, login, attempted_at, succeeded, pending,
                                               nonce)
        VALUES ($2, name, now(), false, true, n);
    SELECT * INTO a FROM public.quil_web_account x WHERE x.login = name AND name <> '';
    IF FOUND THEN
        RETURN QUERY SELECT 'ok', n, a.kdf_ops, a.kdf_memory, a.salt, a.chain_generation,
                            a.chain_left;
    ELSE
        RETURN QUERY SELECT 'ok', n, coalesce(x.kdf_ops, 3), coalesce(x.kdf_memory, 12288),
               substring(sha256((SELECT secret FROM public.quil_web_secret LIMIT 1)
                                || convert_to(coalesce(login, ''), 'UTF8')) from 1 for 16),
               0, 4096 - get_byte(sha256(convert_to(coalesce(login, ''), 'UTF8')), 0)
          FROM (SELECT 1) one LEFT JOIN (SELECT y.kdf_ops, y.kdf_memory
                                           FROM public.quil_web_account y
                                          ORDER BY y.changed_at DESC LIMIT 1) x ON true;
    END IF;
END $$;

-- Concludes the attempt of `nonce` with `proof`: 'stale' for no such attempt under way (an
-- attempt at the same time concluded first: its proof is spent), 'refused' for a wrong
-- proof, 'disabled' or 'unconfirmed' for a right one of a login that cannot be used, else
-- 'ok' with a session kept by `token_hash` (the SHA-256 of the service's token) that ends
-- after `idle_minutes` without a request. `next_head` (of generation + 1 and `next_left`
-- steps) replaces a chain that runs short.
CREATE FUNCTION quil_web_login_finish(nonce bytea, proof bytea, token_hash bytea,
                                      idle_minutes integer, next_head bytea, next_left integer)
    RETURNS TABLE (o_status text, o_must_change boolean)
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    t public.quil_web_login_attempt;
    a public.quil_web_account;
    live boolean;
    same boolean;
BEGIN
    SELECT * INTO t FROM public.quil_web_login_attempt x
     WHERE x.nonce = $1 AND x.pending AND x.attempted_at > now() - interval '120 seconds';
    IF NOT FOUND THEN RETURN QUERY SELECT 'stale', false; RETURN; END IF;
    SELECT * INTO a FROM public.quil_web_account x WHERE x.login = t.login FOR UPDATE;
    -- Concluded meanwhile by an attempt that held the account.
    PERFORM 1 FROM public.quil_web_login_attempt x WHERE x.id = t.id AND x.pending;
    IF NOT FOUND THEN RETURN QUERY SELECT 'stale', false; RETURN; END IF;
    IF public.quil_web_spent(proof, a.chain_head) THEN
        DELETE FROM public.quil_web_login_attempt x WHERE x.id = t.id;
        RETURN QUERY SELECT 'stale', false;
        RETURN;
    END IF;
    IF a.id IS NULL OR proof IS NULL OR octet_length(proof) <> 32
       OR sha256(proof) <> a.chain_head THEN
        UPDATE public.quil_web_login_attempt x SET pending = false WHERE x.id = t.id;
        -- 'locked' when this failure was the login's last one from the address.
        RETURN QUERY SELECT CASE WHEN count(*) >= 5 THEN 'locked' ELSE 'refused' END, false
          FROM public.quil_web_login_attempt x
         WHERE x.login = t.login AND x.address = t.address AND NOT x.succeeded
           AND NOT x.pending AND x.attempted_at > now() - interval '15 minutes'
           AND x.id > coalesce((SELECT max(u.id) FROM public.quil_web_login_attempt u
                                 WHERE u.login = t.login AND u.address = t.address
                                   AND u.succeeded), 0);
        RETURN;
    END IF;
    UPDATE public.quil_web_login_attempt x SET pending = false, succeeded = true
     WHERE x.id = t.id;
    -- Their proofs are this one, spent now: they begin again.
    DELETE FROM public.quil_web_login_attempt x WHERE x.login = t.login AND x.pending;
    IF a.chain_left <= 2 AND next_head IS NOT NULL AND octet_length(next_head) = 32
       AND next_left BETWEEN 16 AND 1000000 THEN
        UPDATE public.quil_web_account x SET chain_head = next_head, chain_left = next_left,
               chain_generation = a.chain_generation + 1 WHERE x.id = a.id;
    ELSE
        UPDATE public.quil_web_account x SET chain_head = proof, chain_left = a.chain_left - 1
         WHERE x.id = a.id;
    END IF;
    SELECT coalesce(i.kind = 2 AND NOT i.deleted, false), coalesce(i.name = a.driver_name, false)
      INTO live, same
      FROM (SELECT 1) one LEFT JOIN public.quil_items i ON i.position = a.driver;
    IF a.disabled OR NOT live THEN RETURN QUERY SELECT 'disabled', false; RETURN; END IF;
    IF NOT same THEN RETURN QUERY SELECT 'unconfirmed', false; RETURN; END IF;
    DELETE FROM public.quil_web_session s WHERE s.last_seen <= now() - s.idle;
    DELETE FROM public.quil_web_login_attempt x WHERE x.attempted_at < now() - interval '1 day';
    INSERT INTO public.quil_web_session (token_hash, account, created_at, last_seen, csrf_secret,
                                         idle)
        VALUES ($3, a.id, now(), now(),
                sha256(convert_to(gen_random_uuid()::text || gen_random_uuid()::text, 'UTF8')),
                make_interval(mins => greatest(1, least(coalesce(idle_minutes, 30), 720))));
    INSERT INTO public.quil_web_log (at, account, actor, address, action)
        VALUES (now(), a.id, a.login, t.address, 'ログイン');
    RETURN QUERY SELECT 'ok', a.must_change_password;
END $$;

-- The session of a token hash, renewed; nothing for an unknown or expired one (which is
-- removed), nor for a disabled login or one whose user changed.
CREATE FUNCTION quil_web_session(token_hash bytea)
    RETURNS TABLE (o_account bigint, o_login text, o_driver integer, o_name text,
                   o_must_change boolean, o_csrf text)
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    DELETE FROM public.quil_web_session s WHERE s.token_hash = $1 AND s.last_seen <= now() - s.idle;
    UPDATE public.quil_web_session s SET last_seen = now()
     WHERE s.token_hash = $1 AND EXISTS (SELECT 1 FROM public.quil_web_session_of($1));
    RETURN QUERY SELECT o.o_account, o.o_login, o.o_driver, o.o_name, o.o_must_change,
                        encode(o.o_csrf, 'hex') FROM public.quil_web_session_of($1) o;
END $$;

CREATE FUNCTION quil_web_logout(token_hash bytea, address text) RETURNS void
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM public.quil_web_check_address(address);
    WITH d AS (DELETE FROM public.quil_web_session s WHERE s.token_hash = $1 RETURNING account)
    INSERT INTO public.quil_web_log (at, account, actor, address, action)
    SELECT now(), a.id, a.login, $2, 'ログアウト'
      FROM d JOIN public.quil_web_account a ON a.id = d.account;
END $$;

-- A new verifier for the session's login: the attempt of `nonce` (begun for that login) with
-- a right proof of the current password, and the new salt, costs and chain head. 'expired'
-- for no session, 'stale' or 'refused' as a login's. A change (`change`) ends the account's
-- other sessions, clears the must-change mark and is logged as one; a re-key (the same
-- password at other costs, right after a login) keeps them. Not granted: the two callers
-- below are.
CREATE FUNCTION quil_web_new_verifier(token_hash bytea, nonce bytea, proof bytea,
                                      ops integer, memory integer, salt bytea,
                                      head bytea, chain_left integer, change boolean)
    RETURNS text
    LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    s record;
    t public.quil_web_login_attempt;
    a public.quil_web_account;
BEGIN
    SELECT * INTO s FROM public.quil_web_session_of($1);
    IF NOT FOUND THEN RETURN 'expired'; END IF;
    IF ops NOT BETWEEN 1 AND 16 OR memory NOT BETWEEN 8 AND 4194304 OR octet_length(salt) <> 16
       OR octet_length(head) <> 32 OR chain_left NOT BETWEEN 16 AND 1000000 THEN
        RAISE EXCEPTION 'bad verifier' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    SELECT * INTO a FROM public.quil_web_account x WHERE x.id = s.o_account FOR UPDATE;
    SELECT * INTO t FROM public.quil_web_login_attempt x
     WHERE x.nonce = $2 AND x.pending AND x.login = a.login
       AND x.attempted_at > now() - interval '120 seconds';
    IF NOT FOUND THEN RETURN 'stale'; END IF;
    IF public.quil_web_spent(proof, a.chain_head) THEN
        DELETE FROM public.quil_web_login_attempt x WHERE x.id = t.id;
        RETURN 'stale';
    END IF;
    IF proof IS NULL OR octet_length(proof) <> 32 OR sha256(proof) <> a.chain_head THEN
        UPDATE public.quil_web_login_attempt x SET pending = false WHERE x.id = t.id;
        RETURN 'refused';
    END IF;
    UPDATE public.quil_web_login_attempt x SET pending = false, succeeded = true
     WHERE x.id = t.id;
    DELETE FROM public.quil_web_login_attempt x WHERE x.login = a.login AND x.pending;
    UPDATE public.quil_web_account x SET kdf_ops = ops, kdf_memory = memory, salt = $6,
           chain_generation = 0, chain_left = $8, chain_head = head
     WHERE x.id = a.id;
    IF change THEN
        UPDATE public.quil_web_account x SET must_change_password = false, changed_at = now()
         WHERE x.id = a.id;
        DELETE FROM public.quil_web_session x WHERE x.account = a.id AND x.token_hash <> $1;
    END IF;
    INSERT INTO public.quil_web_log (at, account, actor, address, action)
        VALUES (now(), a.id, a.login, t.address,
                CASE WHEN change THEN 'パスワード変更' ELSE 'パスワードの暗号を更新' END);
    RETURN 'ok';
END $$;

-- The driver's own change of password.
CREATE FUNCTION quil_web_change_password(token_hash bytea, nonce bytea, proof bytea,
                                         ops integer, memory integer, salt bytea,
                                         head bytea, chain_left integer)
    RETURNS text
    LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT public.quil_web_new_verifier($1, $2, $3, $4, $5, $6, $7, $8, true)
$$;

-- The same password at the policy's costs, right after a login.
CREATE FUNCTION quil_web_rekey(token_hash bytea, nonce bytea, proof bytea, ops integer,
                               memory integer, salt bytea, head bytea, chain_left integer)
    RETURNS text
    LANGUAGE sql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT public.quil_web_new_verifier($1, $2, $3, $4, $5, $6, $7, $8, false)
$$;

-- What the forms offer: every item (its position and bytes) and the detectors in use.
CREATE FUNCTION quil_web_items() RETURNS TABLE (o_position integer, o_raw bytea)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT position, raw FROM public.quil_items ORDER BY position
$$;
CREATE FUNCTION quil_web_detectors() RETURNS TABLE (o_id bigint, o_name text, o_serial text)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT id, name, serial FROM public.quil_alcohol_detector WHERE NOT retired ORDER BY id
$$;

-- The session's driver's own live checks and drives: one by id, or all on or after `since`.
CREATE FUNCTION quil_web_checks(token_hash bytea, since double precision, one bigint)
    RETURNS SETOF public.quil_alcohol_check
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT c.* FROM public.quil_alcohol_check c
     WHERE c.driver = (SELECT o_driver FROM public.quil_web_session_of($1)) AND NOT c.deleted
       AND (CASE WHEN $3 IS NULL THEN c.checked_at >= $2 ELSE c.id = $3 END)
     ORDER BY c.checked_at DESC, c.id DESC
$$;
CREATE FUNCTION quil_web_drives(token_hash bytea, since double precision, one bigint)
    RETURNS TABLE (o_id bigint, o_raw bytea)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT r.id, r.raw FROM public.quil_records r
     WHERE r.user_no = (SELECT o_driver FROM public.quil_web_session_of($1)) AND r.kind = 0
       AND NOT r.deleted AND (CASE WHEN $3 IS NULL THEN r.date >= $2 ELSE r.id = $3 END)
     ORDER BY r.date DESC, r.entry DESC
$$;
CREATE FUNCTION quil_web_checkers(token_hash bytea) RETURNS TABLE (o_checker text)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT c.checker FROM public.quil_alcohol_check c
     WHERE c.driver = (SELECT o_driver FROM public.quil_web_session_of($1)) AND NOT c.deleted
       AND c.checker <> ''
     GROUP BY c.checker ORDER BY max(c.checked_at) DESC LIMIT 20
$$;

-- Claims a form's key `k` (made from `form_key`) for its first post: NULL when this post is
-- the first, else the row the first one stored (0 while it is being stored). Not granted:
-- the two form functions below call it.
CREATE FUNCTION quil_web_claim_form(k text, form_key text) RETURNS bigint
    LANGUAGE plpgsql SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    IF form_key IS NULL OR form_key !~ '^[0-9A-Za-z]{16,48}$' THEN
        RAISE EXCEPTION 'bad form key' USING ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO public.quil_saves (key, target, version) VALUES (k, NULL, 1)
        ON CONFLICT (key) DO NOTHING;
    IF FOUND THEN RETURN NULL; END IF;
    RETURN (SELECT coalesce(v.target, 0) FROM public.quil_saves v WHERE v.key = k);
END $$;

-- Stores a form once per key, in the session's driver's name: o_fresh false gives the row
-- stored by the key's first post. Anything of another driver is refused.
CREATE FUNCTION quil_web_add_check(token_hash bytea, address text, form_key text,
    checked_at double precision, timing integer, driver integer, vehicle integer, checker text,
    method integer, method_text text, detector bigint, reading double precision,
    intoxicated boolean, instructions text, remarks text)
    RETURNS TABLE (o_id bigint, o_fresh boolean)
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    s record;
    k text := 'web-check-' || form_key;
    made bigint;
    earlier bigint;
BEGIN
    PERFORM public.quil_web_check_address(address);
    SELECT * INTO s FROM public.quil_web_session_of($1);
    IF NOT FOUND OR s.o_driver IS DISTINCT FROM $6 THEN
        RAISE EXCEPTION 'not the session''s driver' USING ERRCODE = 'insufficient_privilege';
    END IF;
    earlier := public.quil_web_claim_form(k, form_key);
    IF earlier IS NOT NULL THEN
        RETURN QUERY SELECT earlier, false;
        RETURN;
    END IF;
    INSERT INTO public.quil_alcohol_check (checked_at, timing, driver, vehicle, checker, method,
        method_text, detector, reading, intoxicated, instructions, remarks)
        VALUES ($4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15) RETURNING id INTO made;
    UPDATE public.quil_saves v SET target = made WHERE v.key = k;
    INSERT INTO public.quil_web_log (at, account, actor, address, action)
        VALUES (now(), s.o_account, s.o_login, $2,
                'アルコールチェックを記録（番号 ' || made || '）');
    RETURN QUERY SELECT made, true;
END $$;

CREATE FUNCTION quil_web_add_drive(token_hash bytea, address text, form_key text, raw bytea,
    date double precision, vehicle integer, user_no integer)
    RETURNS TABLE (o_id bigint, o_fresh boolean)
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    s record;
    k text := 'web-drive-' || form_key;
    made bigint;
    earlier bigint;
BEGIN
    PERFORM public.quil_web_check_address(address);
    SELECT * INTO s FROM public.quil_web_session_of($1);
    -- A driving record of the session's driver, live: its bytes say so too (the table's
    -- check compares the rest).
    IF NOT FOUND OR s.o_driver IS DISTINCT FROM $7 OR raw IS NULL OR octet_length(raw) <> 256
       OR (get_byte(raw, 31) << 8 | get_byte(raw, 30)) <> $7
       OR get_byte(raw, 14) <> 0 OR get_byte(raw, 15) <> 0 OR get_byte(raw, 16) <> 0 THEN
        RAISE EXCEPTION 'not the session''s driver' USING ERRCODE = 'insufficient_privilege';
    END IF;
    earlier := public.quil_web_claim_form(k, form_key);
    IF earlier IS NOT NULL THEN
        RETURN QUERY SELECT earlier, false;
        RETURN;
    END IF;
    INSERT INTO public.quil_records (raw, date, vehicle, user_no, kind, deleted)
        VALUES ($4, $5, $6, $7, 0, false) RETURNING id INTO made;
    UPDATE public.quil_saves v SET target = made WHERE v.key = k;
    INSERT INTO public.quil_web_log (at, account, actor, address, action)
        VALUES (now(), s.o_account, s.o_login, $2, '走行記録を記録（番号 ' || made || '）');
    RETURN QUERY SELECT made, true;
END $$;

DO $$
DECLARE
    f text;
    web text := quil_group('web');
BEGIN
    EXECUTE format('REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %I', web);
    EXECUTE format('REVOKE ALL ON ALL SEQUENCES IN SCHEMA public FROM %I', web);
    EXECUTE format('REVOKE ALL ON FUNCTION quil_web_driver() FROM %I', web);
    FOREACH f IN ARRAY ARRAY['quil_web_session_of(bytea)', 'quil_web_check_address(text)',
        'quil_web_new_verifier(bytea, bytea, bytea, integer, integer, bytea, bytea, integer, '
        'boolean)',
        'quil_web_claim_form(text, text)',
        'quil_web_login_begin(text, text)',
        'quil_web_login_finish(bytea, bytea, bytea, integer, bytea, integer)',
        'quil_web_session(bytea)', 'quil_web_logout(bytea, text)',
        'quil_web_change_password(bytea, bytea, bytea, integer, integer, bytea, bytea, integer)',
        'quil_web_rekey(bytea, bytea, bytea, integer, integer, bytea, bytea, integer)',
        'quil_web_items()', 'quil_web_detectors()',
        'quil_web_checks(bytea, double precision, bigint)',
        'quil_web_drives(bytea, double precision, bigint)', 'quil_web_checkers(bytea)',
        'quil_web_add_check(bytea, text, text, double precision, integer, integer, integer, '
        'text, integer, text, bigint, double precision, boolean, text, text)',
        'quil_web_add_drive(bytea, text, text, bytea, double precision, integer, integer)'] LOOP
        EXECUTE format('REVOKE ALL ON FUNCTION %s FROM PUBLIC', f);
        CONTINUE WHEN f LIKE 'quil_web_session_of%' OR f LIKE 'quil_web_check_address%'
            OR f LIKE 'quil_web_new_verifier%' OR f LIKE 'quil_web_claim_form%';
        EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f, web);
    END LOOP;
END $$;
)SQL";

// Schema 11: driver licences and vehicle papers, tables made from their description
// (folder/ExtensionSchema.h) by createPaperTables below. The licence number is personal:
// 閲覧 may read every column of a licence but the number; the drivers' service has no right
// on either table and reads a driver's own licence expiry, and the current papers of a
// vehicle without their numbers, through two functions.
constexpr const char* kSchema11 = R"SQL(
INSERT INTO quil_change_counter (what) VALUES ('papers');
)SQL";
constexpr const char* kSchema11Rights = R"SQL(
CREATE INDEX quil_driver_licence_driver ON quil_driver_licence (driver);
CREATE INDEX quil_vehicle_paper_vehicle ON quil_vehicle_paper (vehicle);
ALTER TABLE quil_driver_licence ADD CHECK (number ~ '^([0-9]{12})?$');
REVOKE ALL ON quil_driver_licence, quil_vehicle_paper FROM PUBLIC;

CREATE FUNCTION quil_web_licence_expiry(token_hash bytea)
    RETURNS TABLE (o_expiry double precision)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT l.expiry FROM public.quil_driver_licence l
     WHERE l.driver = (SELECT o_driver FROM public.quil_web_session_of($1)) AND NOT l.renewed
     ORDER BY l.expiry DESC, l.id DESC LIMIT 1
$$;
CREATE FUNCTION quil_web_vehicle_papers(token_hash bytea, vehicle integer)
    RETURNS TABLE (o_kind integer, o_title text, o_expiry double precision)
    LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT p.kind, p.title, p.expiry FROM public.quil_vehicle_paper p
     WHERE EXISTS (SELECT 1 FROM public.quil_web_session_of($1)) AND p.vehicle = $2
       AND NOT p.renewed
     ORDER BY p.expiry, p.id
$$;
REVOKE ALL ON FUNCTION quil_web_licence_expiry(bytea) FROM PUBLIC;
REVOKE ALL ON FUNCTION quil_web_vehicle_papers(bytea, integer) FROM PUBLIC;

DO $$
BEGIN
    EXECUTE format('GRANT SELECT (id, driver, kinds, conditions, expiry, seen_on, seen_by, '
                   'remarks, renewed, version) ON quil_driver_licence TO %I', quil_group('viewer'));
    EXECUTE format('GRANT SELECT ON quil_vehicle_paper TO %I', quil_group('viewer'));
    EXECUTE format('GRANT SELECT, INSERT, UPDATE ON quil_driver_licence, quil_vehicle_paper '
                   'TO %I', quil_group('clerk'));
    EXECUTE format('GRANT USAGE ON SEQUENCE quil_driver_licence_id_seq, '
                   'quil_vehicle_paper_id_seq TO %I', quil_group('clerk'));
    EXECUTE format('GRANT ALL ON quil_driver_licence, quil_vehicle_paper TO %I',
                   quil_group('admin'));
    EXECUTE format('GRANT ALL ON SEQUENCE quil_driver_licence_id_seq, '
                   'quil_vehicle_paper_id_seq TO %I', quil_group('admin'));
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_web_licence_expiry(bytea) TO %I',
                   quil_group('web'));
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_web_vehicle_papers(bytea, integer) TO %I',
                   quil_group('web'));
END $$;
)SQL";

void createPaperTables(PgConnection& c) {
    for (const folder::extschema::Table& table : folder::extschema::component("papers").tables)
        for (const std::string& sql : folder::extschema::serverCreateTable(table)) c.run(sql);
    c.run(kSchema11Rights);
}

// Schema 12: the figures the reports add up, taken from the record's bytes into columns the
// server computes itself on every write (distances and return time are little-endian
// doubles, price and tax 32-bit, item 16-bit); the sums per kind, vehicle, month, user and
// item and the highest readings per vehicle and day, kept by triggers, so that a report reads
// a few rows per vehicle and month instead of every record; and the indexes the reports walk.
constexpr const char* kSchema12 = R"SQL(
CREATE FUNCTION quil_raw_int4(b bytea, o integer) RETURNS integer
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o)::bigint | (get_byte(b, o + 1)::bigint << 8)
             | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 3)::bigint << 24))
            - CASE WHEN get_byte(b, o + 3) >= 128 THEN 4294967296 ELSE 0 END)::integer
$$;
CREATE FUNCTION quil_raw_int2(b bytea, o integer) RETURNS smallint
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o) | (get_byte(b, o + 1) << 8))
            - CASE WHEN get_byte(b, o + 1) >= 128 THEN 65536 ELSE 0 END)::smallint
$$;
CREATE FUNCTION quil_raw_float8(b bytea, o integer) RETURNS double precision
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT CASE WHEN e = 2047 THEN CASE WHEN m = 0 THEN s * 'Infinity'::float8 ELSE 'NaN' END
                WHEN e = 0 THEN s * m::float8 * 2::float8 ^ -1074
                ELSE s * (4503599627370496 + m)::float8 * 2::float8 ^ (e - 1075) END
    FROM (SELECT CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END AS s,
                 ((get_byte(b, o + 7) & 127) << 4) | (get_byte(b, o + 6) >> 4) AS e,
                 ((get_byte(b, o + 6) & 15)::bigint << 48) | (get_byte(b, o + 5)::bigint << 40)
                 | (get_byte(b, o + 4)::bigint << 32) | (get_byte(b, o + 3)::bigint << 24)
                 | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 1)::bigint << 8)
                 | get_byte(b, o)::bigint AS m) f
$$;
ALTER TABLE quil_records
    ADD COLUMN distance1 double precision GENERATED ALWAYS AS (quil_raw_float8(raw, 32)) STORED,
    ADD COLUMN distance2 double precision GENERATED ALWAYS AS (quil_raw_float8(raw, 40)) STORED,
    ADD COLUMN price integer GENERATED ALWAYS AS (quil_raw_int4(raw, 52)) STORED,
    ADD COLUMN tax integer GENERATED ALWAYS AS (quil_raw_int4(raw, 60)) STORED,
    ADD COLUMN item smallint GENERATED ALWAYS AS (quil_raw_int2(raw, 64)) STORED,
    ADD COLUMN return_time double precision
        GENERATED ALWAYS AS (quil_raw_float8(raw, 176)) STORED;
CREATE INDEX quil_records_sums ON quil_records (vehicle, date)
    INCLUDE (kind, user_no, entry, item, distance1, distance2, price, tax) WHERE NOT deleted;
-- Each vehicle's highest odometer readings, for the schedule of maintenance.
CREATE INDEX quil_records_readings ON quil_records (vehicle, (CASE kind
    WHEN 0 THEN greatest(distance1, distance2) WHEN 1 THEN distance1 WHEN 2 THEN distance1
    ELSE 0 END)) WHERE NOT deleted;
-- The records of a kind in the list's order: the refuellings of the fuel report (no sort of
-- their rows), the latest maintenance of each vehicle and item.
CREATE INDEX quil_records_kinds ON quil_records (kind, date, vehicle, user_no, entry)
    INCLUDE (item) WHERE NOT deleted;
-- The refuellings in the list's order with their records: the fuel report reads them from
-- the index alone instead of every page of the table, and sorts nothing.
CREATE INDEX quil_records_refuellings ON quil_records (date, vehicle, user_no, entry)
    INCLUDE (id, version, raw) WHERE NOT deleted AND kind = 1;

-- A record's odometer reading (the expression of quil_records_readings) and the first day of
-- its date's month; a date beyond years 1 to 9999 (or no number) is its own day.
CREATE FUNCTION quil_reading(kind smallint, d1 double precision, d2 double precision)
    RETURNS double precision LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE kind WHEN 0 THEN greatest(d1, d2) WHEN 1 THEN d1 WHEN 2 THEN d1 ELSE 0 END
$$;
CREATE FUNCTION quil_month(d double precision) RETURNS double precision
    LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
    SELECT CASE WHEN d >= -693593 AND d < 2958466 THEN (date_trunc('month',
        (DATE '1899-12-30' + trunc(d)::integer)::timestamp)::date - DATE '1899-12-30')::float8
        ELSE trunc(d) END
$$;

-- The live records' sums per kind, vehicle, month, user and item, kept by a trigger on every
-- write, so that a report over whole months reads a few rows per vehicle and month instead of
-- every record. `highest` is the highest reading above 0 (0: none), `readings` how many
-- records have one. A bulk load (quil.bulk) skips the trigger and rebuilds them at its end.
CREATE TABLE quil_record_sums (
    kind smallint NOT NULL,
    vehicle smallint NOT NULL,
    month double precision NOT NULL,
    user_no smallint NOT NULL,
    item smallint NOT NULL,
    count bigint NOT NULL,
    driven double precision NOT NULL,
    distance2 double precision NOT NULL,
    price bigint NOT NULL,
    tax bigint NOT NULL,
    highest double precision NOT NULL,
    readings bigint NOT NULL,
    PRIMARY KEY (kind, vehicle, month, user_no, item)
);

-- Each vehicle's highest reading above 0 of its driving and maintenance records per day (a
-- date's day is its whole part), and how many have one: the fuel report follows them between
-- refuellings without a reading.
CREATE TABLE quil_reading_days (
    vehicle smallint NOT NULL,
    day double precision NOT NULL,
    highest double precision NOT NULL,
    readings bigint NOT NULL,
    PRIMARY KEY (vehicle, day)
);

CREATE FUNCTION quil_rebuild_record_sums() RETURNS void LANGUAGE sql AS $$
    DELETE FROM quil_reading_days;
    INSERT INTO quil_reading_days
    SELECT vehicle, trunc(date), max(quil_reading(kind, distance1, distance2)), count(*)
      FROM quil_records
     WHERE NOT deleted AND kind IN (0, 2) AND quil_reading(kind, distance1, distance2) > 0
     GROUP BY 1, 2;
    DELETE FROM quil_record_sums;
    INSERT INTO quil_record_sums
    SELECT kind, vehicle, quil_month(date), user_no, item, count(*), sum(distance2 - distance1),
           sum(distance2), sum(price), sum(tax),
           coalesce(max(quil_reading(kind, distance1, distance2))
                        FILTER (WHERE quil_reading(kind, distance1, distance2) > 0), 0),
           count(*) FILTER (WHERE quil_reading(kind, distance1, distance2) > 0)
      FROM quil_records WHERE NOT deleted GROUP BY 1, 2, 3, 4, 5;
$$;
SELECT quil_rebuild_record_sums();

-- The groups a statement took figures out of that subtraction cannot take back (figures of
-- no number, infinite or NaN, or the group's highest reading) are added up again from their
-- records once the statement is done (a month of one vehicle, over quil_records_sums); the
-- rows' trigger lists them in quil.recount for the transaction.
CREATE FUNCTION quil_recount_record_sums() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    g text[];
    m double precision;
    next_month double precision;
BEGIN
    FOR g IN SELECT DISTINCT string_to_array(x, ',')
               FROM unnest(string_to_array(current_setting('quil.recount', true), ';')) x
              WHERE x <> '' LOOP
        IF array_length(g, 1) = 2 THEN  -- a vehicle's day of readings
            m := g[2]::float8;
            UPDATE public.quil_reading_days d
               SET (highest, readings) = (
                   SELECT coalesce(max(public.quil_reading(r.kind, r.distance1, r.distance2)), 0),
                          count(*)
                     FROM public.quil_records r
                    WHERE NOT r.deleted AND r.vehicle = g[1]::smallint AND r.kind IN (0, 2)
                      AND trunc(r.date) = m
                      AND (NOT m - m = 0 OR (r.date > m - 1 AND r.date < m + 1))
                      AND public.quil_reading(r.kind, r.distance1, r.distance2) > 0)
             WHERE (d.vehicle, d.day) = (g[1]::smallint, m);
            DELETE FROM public.quil_reading_days d
             WHERE (d.vehicle, d.day) = (g[1]::smallint, m) AND d.readings = 0;
            CONTINUE;
        END IF;
        m := g[3]::float8;
        next_month := CASE WHEN m >= -693593 AND m < 2958466
            THEN (((DATE '1899-12-30' + m::integer) + interval '1 month')::date
                  - DATE '1899-12-30')::float8 END;
        UPDATE public.quil_record_sums s
           SET (count, driven, distance2, price, tax, highest, readings) = (
               SELECT count(*), coalesce(sum(r.distance2 - r.distance1), 0),
                      coalesce(sum(r.distance2), 0), coalesce(sum(r.price), 0),
                      coalesce(sum(r.tax), 0),
                      coalesce(max(public.quil_reading(r.kind, r.distance1, r.distance2))
                          FILTER (WHERE public.quil_reading(r.kind, r.distance1, r.distance2) > 0), 0),
                      count(*) FILTER (WHERE public.quil_reading(r.kind, r.distance1, r.distance2) > 0)
                 FROM public.quil_records r
                WHERE NOT r.deleted AND r.vehicle = g[2]::smallint AND r.kind = g[1]::smallint
                  AND r.user_no = g[4]::smallint AND r.item = g[5]::smallint
                  AND public.quil_month(r.date) = m
                  AND (next_month IS NULL OR (r.date >= m AND r.date < next_month)))
         WHERE (s.kind, s.vehicle, s.month, s.user_no, s.item)
               = (g[1]::smallint, g[2]::smallint, m, g[4]::smallint, g[5]::smallint);
        DELETE FROM public.quil_record_sums s
         WHERE (s.kind, s.vehicle, s.month, s.user_no, s.item)
               = (g[1]::smallint, g[2]::smallint, m, g[4]::smallint, g[5]::smallint)
           AND s.count = 0;
    END LOOP;
    PERFORM set_config('quil.recount', '', true);
    RETURN NULL;
END $$;

-- Takes the record's old figures out of its group and adds the new ones. Runs with the
-- owner's rights: no login may write the sums itself.
CREATE FUNCTION quil_keep_record_sums() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
DECLARE
    reading double precision;
    left_count bigint;
    left_highest double precision;
    left_driven double precision;
    left_litres double precision;
BEGIN
    IF TG_OP = 'UPDATE' AND NOT OLD.deleted AND NOT NEW.deleted
       AND (NEW.kind, NEW.vehicle, NEW.user_no, NEW.item, NEW.date, NEW.distance1,
            NEW.distance2, NEW.price, NEW.tax) IS NOT DISTINCT FROM
           (OLD.kind, OLD.vehicle, OLD.user_no, OLD.item, OLD.date, OLD.distance1,
            OLD.distance2, OLD.price, OLD.tax) THEN
        RETURN NULL;
    END IF;
    -- One writer of the sums at a time, to its commit: a write may take figures out of one
    -- group and add them to another, and two writers locking their groups' rows in opposite
    -- orders would deadlock.
    PERFORM pg_advisory_xact_lock(7190004);
    IF TG_OP <> 'INSERT' AND NOT OLD.deleted THEN
        reading := public.quil_reading(OLD.kind, OLD.distance1, OLD.distance2);
        UPDATE public.quil_record_sums s
           SET count = s.count - 1, driven = s.driven - (OLD.distance2 - OLD.distance1),
               distance2 = s.distance2 - OLD.distance2, price = s.price - OLD.price,
               tax = s.tax - OLD.tax, readings = s.readings - (reading > 0)::integer
         WHERE (s.kind, s.vehicle, s.month, s.user_no, s.item)
               = (OLD.kind, OLD.vehicle, public.quil_month(OLD.date), OLD.user_no, OLD.item)
        RETURNING s.count, s.highest, s.driven, s.distance2
             INTO left_count, left_highest, left_driven, left_litres;
        IF left_count <= 0 THEN
            DELETE FROM public.quil_record_sums s
             WHERE (s.kind, s.vehicle, s.month, s.user_no, s.item)
                   = (OLD.kind, OLD.vehicle, public.quil_month(OLD.date), OLD.user_no, OLD.item);
        ELSIF (reading > 0 AND reading >= left_highest)
              OR NOT (left_driven - left_driven = 0 AND left_litres - left_litres = 0) THEN
            PERFORM set_config('quil.recount', coalesce(current_setting('quil.recount', true), '')
                || concat_ws(',', OLD.kind, OLD.vehicle, public.quil_month(OLD.date),
                             OLD.user_no, OLD.item) || ';', true);
        END IF;
        IF OLD.kind IN (0, 2) AND reading > 0 THEN
            UPDATE public.quil_reading_days d SET readings = d.readings - 1
             WHERE (d.vehicle, d.day) = (OLD.vehicle, trunc(OLD.date))
            RETURNING d.readings, d.highest INTO left_count, left_highest;
            IF left_count <= 0 THEN
                DELETE FROM public.quil_reading_days d
                 WHERE (d.vehicle, d.day) = (OLD.vehicle, trunc(OLD.date));
            ELSIF reading >= left_highest THEN
                PERFORM set_config('quil.recount',
                    coalesce(current_setting('quil.recount', true), '')
                    || concat_ws(',', OLD.vehicle, trunc(OLD.date)) || ';', true);
            END IF;
        END IF;
    END IF;
    IF TG_OP <> 'DELETE' AND NOT NEW.deleted THEN
        reading := public.quil_reading(NEW.kind, NEW.distance1, NEW.distance2);
        INSERT INTO public.quil_record_sums AS s VALUES (
            NEW.kind, NEW.vehicle, public.quil_month(NEW.date), NEW.user_no, NEW.item, 1,
            NEW.distance2 - NEW.distance1, NEW.distance2, NEW.price, NEW.tax,
            CASE WHEN reading > 0 THEN reading ELSE 0 END, (reading > 0)::integer)
        ON CONFLICT (kind, vehicle, month, user_no, item) DO UPDATE
           SET count = s.count + 1, driven = s.driven + EXCLUDED.driven,
               distance2 = s.distance2 + EXCLUDED.distance2, price = s.price + EXCLUDED.price,
               tax = s.tax + EXCLUDED.tax, highest = greatest(s.highest, EXCLUDED.highest),
               readings = s.readings + EXCLUDED.readings;
        IF NEW.kind IN (0, 2) AND reading > 0 THEN
            INSERT INTO public.quil_reading_days AS d
            VALUES (NEW.vehicle, trunc(NEW.date), reading, 1)
            ON CONFLICT (vehicle, day) DO UPDATE
               SET highest = greatest(d.highest, EXCLUDED.highest), readings = d.readings + 1;
        END IF;
    END IF;
    RETURN NULL;
END $$;
CREATE TRIGGER quil_records_keep_sums AFTER INSERT OR UPDATE OR DELETE ON quil_records
    FOR EACH ROW WHEN (coalesce(current_setting('quil.bulk', true), '') <> 'on')
    EXECUTE FUNCTION quil_keep_record_sums();
CREATE TRIGGER quil_records_recount_sums AFTER INSERT OR UPDATE OR DELETE ON quil_records
    FOR EACH STATEMENT WHEN (coalesce(current_setting('quil.bulk', true), '') <> 'on')
    EXECUTE FUNCTION quil_recount_record_sums();

REVOKE ALL ON quil_record_sums, quil_reading_days FROM PUBLIC;
REVOKE ALL ON FUNCTION quil_recount_record_sums() FROM PUBLIC;
REVOKE ALL ON FUNCTION quil_keep_record_sums() FROM PUBLIC;
REVOKE ALL ON FUNCTION quil_rebuild_record_sums() FROM PUBLIC;
DO $$
BEGIN
    EXECUTE format('GRANT SELECT ON quil_record_sums, quil_reading_days TO %I',
                   quil_group('viewer'));
    EXECUTE format('GRANT ALL ON quil_record_sums, quil_reading_days TO %I', quil_group('admin'));
    EXECUTE format('GRANT EXECUTE ON FUNCTION quil_rebuild_record_sums() TO %I',
                   quil_group('admin'));
END $$;
)SQL";

// Schema 13: the functions that take the figures' columns from a record's bytes, and a date's
// month, the same values as one expression each (no STRICT, no FROM), which the server
// writes into the statement that calls them instead of running a function per column and
// row: a push computed six of them for every record it wrote, and spent five sixths of its
// time there.
constexpr const char* kSchema13 = R"SQL(
CREATE OR REPLACE FUNCTION quil_raw_int4(b bytea, o integer) RETURNS integer
    LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o)::bigint | (get_byte(b, o + 1)::bigint << 8)
             | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 3)::bigint << 24))
            - CASE WHEN get_byte(b, o + 3) >= 128 THEN 4294967296 ELSE 0 END)::integer
$$;
CREATE OR REPLACE FUNCTION quil_raw_int2(b bytea, o integer) RETURNS smallint
    LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT ((get_byte(b, o) | (get_byte(b, o + 1) << 8))
            - CASE WHEN get_byte(b, o + 1) >= 128 THEN 65536 ELSE 0 END)::smallint
$$;
CREATE OR REPLACE FUNCTION quil_raw_float8(b bytea, o integer) RETURNS double precision
    LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    -- Sign s = CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END,
    -- exponent e = (((get_byte(b, o + 7) & 127) << 4) | (get_byte(b, o + 6) >> 4)), mantissa m = the low 52 bits: written out where they are used.
    SELECT CASE (((get_byte(b, o + 7) & 127) << 4) | (get_byte(b, o + 6) >> 4))
        WHEN 2047 THEN CASE WHEN (((get_byte(b, o + 6) & 15)::bigint << 48) | (get_byte(b, o + 5)::bigint << 40)
              | (get_byte(b, o + 4)::bigint << 32) | (get_byte(b, o + 3)::bigint << 24)
              | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 1)::bigint << 8)
              | get_byte(b, o)::bigint) = 0
            THEN (CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END) * 'Infinity'::float8 ELSE 'NaN' END
        WHEN 0 THEN (CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END) * (((get_byte(b, o + 6) & 15)::bigint << 48) | (get_byte(b, o + 5)::bigint << 40)
              | (get_byte(b, o + 4)::bigint << 32) | (get_byte(b, o + 3)::bigint << 24)
              | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 1)::bigint << 8)
              | get_byte(b, o)::bigint)::float8 * 2::float8 ^ -1074
        ELSE (CASE WHEN get_byte(b, o + 7) >= 128 THEN -1::float8 ELSE 1::float8 END) * (4503599627370496 + (((get_byte(b, o + 6) & 15)::bigint << 48) | (get_byte(b, o + 5)::bigint << 40)
              | (get_byte(b, o + 4)::bigint << 32) | (get_byte(b, o + 3)::bigint << 24)
              | (get_byte(b, o + 2)::bigint << 16) | (get_byte(b, o + 1)::bigint << 8)
              | get_byte(b, o)::bigint))::float8
            * 2::float8 ^ ((((get_byte(b, o + 7) & 127) << 4) | (get_byte(b, o + 6) >> 4)) - 1075) END
$$;
CREATE OR REPLACE FUNCTION quil_month(d double precision) RETURNS double precision
    LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN d >= -693593 AND d < 2958466 THEN (date_trunc('month',
        (DATE '1899-12-30' + trunc(d)::integer)::timestamp)::date - DATE '1899-12-30')::float8
        ELSE trunc(d) END
$$;
)SQL";

// Schema 14: an edit keeps the record as it was, so that a program told of another's edit
// can take the former record out of what it shows and put the new one in, instead of
// reading everything again. One row per record, replaced by each edit: the former bytes,
// the stamp they had and the stamp of the edit that replaced them (a reader takes them only
// for the version it was told of, and only when it had seen the former one). Written by the
// data set's owner; the office reads it as it reads the records, the drivers' service not
// at all (a record may have been another driver's before an edit).
constexpr const char* kSchema14 = R"SQL(
CREATE TABLE quil_record_former (
    id bigint PRIMARY KEY,
    raw bytea NOT NULL,
    was bigint NOT NULL,
    stamp bigint NOT NULL
);
CREATE FUNCTION quil_keep_former() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER SET search_path = public, pg_temp AS $$
BEGIN
    IF coalesce(current_setting('quil.bulk', true), '') = 'on' THEN RETURN NULL; END IF;
    INSERT INTO quil_record_former (id, raw, was, stamp)
        VALUES (OLD.id, OLD.raw, OLD.changed, NEW.changed)
        ON CONFLICT (id) DO UPDATE SET raw = EXCLUDED.raw, was = EXCLUDED.was,
                                       stamp = EXCLUDED.stamp;
    RETURN NULL;
END $$;
REVOKE ALL ON FUNCTION quil_keep_former() FROM PUBLIC;
CREATE TRIGGER quil_records_former AFTER UPDATE ON quil_records
    FOR EACH ROW EXECUTE FUNCTION quil_keep_former();
REVOKE ALL ON quil_record_former FROM PUBLIC;
DO $$
BEGIN
    EXECUTE format('GRANT SELECT ON quil_record_former TO %I', quil_group('viewer'));
END $$;
)SQL";

// Schema 15: the server counts a reading as the folder's reports do. They take a record's
// reading when `reading > 0` in C++, false for NaN, and a drive's reading is std::max of its
// two distances, the first unless the second is a greater number; PostgreSQL orders NaN
// above every number, so that `greatest` and `> 0` took a damaged record's NaN for its
// vehicle's highest reading. quil_reading now gives the reading only when it counts (0 when
// it does not: a reading not above 0 or of no number, an expense): a NaN fails both
// `<= 'Infinity'` and `> d1` as it fails C++'s comparisons. The index of readings is on
// quil_reading itself, so that the server's queries and the index share one definition (a
// change of the function must rebuild the index); the kept sums are added up again. A push
// replaces every record and now clears their former bytes too, which an administrator who
// does not own the data set may push.
constexpr const char* kSchema15 = R"SQL(
CREATE OR REPLACE FUNCTION quil_reading(kind smallint, d1 double precision, d2 double precision)
    RETURNS double precision LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$
    SELECT CASE WHEN kind = 0 AND d2 > d1 AND d2 > 0 AND d2 <= 'Infinity'::float8 THEN d2
                WHEN kind IN (0, 1, 2) AND d1 > 0 AND d1 <= 'Infinity'::float8 THEN d1
                ELSE 0::float8 END
$$;
DROP INDEX quil_records_readings;
CREATE INDEX quil_records_readings ON quil_records (vehicle, quil_reading(kind, distance1, distance2))
    WHERE NOT deleted;
SELECT quil_rebuild_record_sums();

-- Former bytes of records a push replaced at schema 14: an edit's row always carries the
-- stamp of its record.
DELETE FROM quil_record_former f
 WHERE NOT EXISTS (SELECT 1 FROM quil_records r WHERE r.id = f.id AND r.changed = f.stamp);
DO $$
BEGIN
    EXECUTE format('GRANT DELETE ON quil_record_former TO %I', quil_group('admin'));
END $$;
)SQL";

// Schema 16: the odometer check and the missing alcohol checks read every drive and every
// reading in the list's order. Their few columns, kept in that order in an index of their
// own, are read from it alone instead of from every page of the table.
constexpr const char* kSchema16 = R"SQL(
CREATE INDEX quil_records_drives ON quil_records (date, vehicle, user_no, entry)
    INCLUDE (id, kind, distance1, distance2, return_time) WHERE NOT deleted AND kind IN (0, 1, 2);
)SQL";

struct Migration {
    int version;
    const char* sql;
    // Moves data after the statements, in the same transaction (none: nothing to move).
    void (*moveData)(PgConnection&) = nullptr;
};
constexpr std::array kMigrations{
    Migration{1, kSchema1}, Migration{2, kSchema2},
    Migration{3, kSchema3}, Migration{4, kSchema4, convertStoredExtensionFile},
    Migration{5, kSchema5}, Migration{6, kSchema6}, Migration{7, kSchema7},
    Migration{8, kSchema8}, Migration{9, kSchema9}, Migration{10, kSchema10},
    Migration{11, kSchema11, createPaperTables}, Migration{12, kSchema12},
    Migration{13, kSchema13}, Migration{14, kSchema14}, Migration{15, kSchema15},
    Migration{16, kSchema16}};
static_assert(kMigrations.back().version == kSchemaVersion);

const std::string kWrittenBy = "クイル台帳";

void applyFrom(PgConnection& c, int from, int to = kSchemaVersion) {
    for (const Migration& m : kMigrations)
        if (m.version > from && m.version <= to) {
            c.run(m.sql);
            if (m.moveData) m.moveData(c);
        }
    if (from == 0)
        c.exec("INSERT INTO quil_schema (version, written_by) VALUES ($1, $2)",
               {PgParam::number(to), PgParam::text(kWrittenBy)});
    else
        c.exec("UPDATE quil_schema SET version = $1, written_by = $2, changed_at = now()",
               {PgParam::number(to), PgParam::text(kWrittenBy)});
}

ServerError newerError(const PgConnection& c, int version) {
    return {ServerError::Kind::Newer, c.where(),
            "このデータセットは新しいクイル台帳で作られています（形式 " + std::to_string(version) +
                "、このプログラムは形式 " + std::to_string(kSchemaVersion) +
                " まで）。プログラムを新しくしてください。データは変更していません。"};
}

ServerError notADataSet(const PgConnection& c) {
    return {ServerError::Kind::NotADataSet, c.where(),
            "このデータベースはクイル台帳のデータセットではありません。"
            "「quil-tool --server 接続先 server init」でデータセットを作ってください。"};
}

}  // namespace

SchemaState inspectSchema(PgConnection& c) {
    const PgResult t = c.exec(
        "SELECT to_regclass('quil_schema') IS NOT NULL, "
        "EXISTS (SELECT 1 FROM pg_class k JOIN pg_namespace n ON n.oid = k.relnamespace "
        "        WHERE n.nspname = 'public' AND k.relkind IN ('r', 'v', 'S'))");
    if (t.text(0, 0) != "t")
        return {t.text(0, 1) == "t" ? SchemaState::Is::Foreign : SchemaState::Is::Empty, 0};
    const PgResult v = c.exec("SELECT max(version) FROM quil_schema");
    if (v.rows() == 0 || v.isNull(0, 0)) return {SchemaState::Is::Foreign, 0};
    const int version = static_cast<int>(v.integer(0, 0));
    if (version > kSchemaVersion) return {SchemaState::Is::Newer, version};
    if (version < kSchemaVersion) return {SchemaState::Is::Older, version};
    return {SchemaState::Is::Current, version};
}

void initializeSchema(PgConnection& c) { initializeSchemaAt(c, kSchemaVersion); }

namespace {

// Runs a schema change in its own transaction, again when it lost a race with another data
// set's change of the cluster's shared rows (roles belong to the whole cluster, and two
// upgrades may change the same role at once); its work was rolled back each time.
template <typename F>
void schemaTransaction(PgConnection& c, F&& body) {
    for (int attempt = 1;; ++attempt) {
        try {
            inTransaction(c, body);
            return;
        } catch (const ServerError& e) {
            if (!e.lostARace() || attempt == 5 || !c.alive()) throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt + std::rand() % 50));
    }
}

}  // namespace

void initializeSchemaAt(PgConnection& c, int version) {
    schemaTransaction(c, [&] {
        // One init at a time per database; a second one then finds the first one's tables.
        c.run("SELECT pg_advisory_xact_lock(7190001)");
        const SchemaState s = inspectSchema(c);
        if (s.is == SchemaState::Is::Newer) throw newerError(c, s.version);
        if (s.is == SchemaState::Is::Foreign)
            throw ServerError(ServerError::Kind::Refused, c.where(),
                              "このデータベースには別のデータがあります。データセットは空の"
                              "データベースに作ってください。何も変更していません。");
        if (s.is != SchemaState::Is::Empty)
            throw ServerError(ServerError::Kind::Refused, c.where(),
                              "このデータベースにはデータセットがすでにあります。"
                              "何も変更していません。");
        applyFrom(c, 0, version);
    });
}

void upgradeSchema(PgConnection& c) {
    schemaTransaction(c, [&] {
        c.run("SELECT pg_advisory_xact_lock(7190001)");
        const SchemaState s = inspectSchema(c);
        if (s.is == SchemaState::Is::Newer) throw newerError(c, s.version);
        if (s.is == SchemaState::Is::Empty || s.is == SchemaState::Is::Foreign)
            throw notADataSet(c);
        if (s.is != SchemaState::Is::Older) return;
        try {
            applyFrom(c, s.version);
        } catch (const ServerError& e) {
            if (e.kind() != ServerError::Kind::NotAllowed) throw;
            throw ServerError(ServerError::Kind::NotAllowed, c.where(),
                              "このデータセットは古い形式（形式 " + std::to_string(s.version) +
                                  "）です。管理者の利用者で一度開くと新しい形式になります。"
                                  "データは変更していません。");
        }
    });
}

std::string roleTitle(const std::string& role) {
    if (role == kAdminRole) return "管理者";
    if (role == kClerkRole) return "事務";
    if (role == kViewerRole) return "閲覧";
    return {};
}

std::string groupRole(PgConnection& c, const std::string& kind) {
    return std::string(c.exec("SELECT quil_group($1)", {PgParam::text(kind)}).text(0, 0));
}

}  // namespace quil::server
